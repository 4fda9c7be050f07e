#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/frame_loop.h"
#include "core/memory.h"

namespace {

class AppStateTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetAppState(); }
    void TearDown() override { ResetAppState(); }
};

TEST_F(AppStateTest, StartUpValues) {
    EXPECT_EQ(appState.spinning, 0);
    EXPECT_EQ(appState.fullRedraw, 1);
    EXPECT_EQ(appState.viewFlags, ViewBackculled);
    EXPECT_EQ(appState.background, 0x528A);
    EXPECT_EQ(appState.zoom, 1.0f);
    EXPECT_EQ(appState.hair.radius, 0.0005f);
    EXPECT_EQ(appState.hair.onlyDynamic, 1);
    EXPECT_EQ(appState.hair.reduce, 0);
    EXPECT_EQ(appState.currentTexture, &appState.textures[TextureWood]);
    EXPECT_EQ(appState.textures[TextureUser].pixels, nullptr);
    EXPECT_EQ(appState.textures[TextureUser].width, 1);
    EXPECT_NEAR(appState.rotation.m[5], 0.866025f, 1e-6f);
    EXPECT_NEAR(appState.rotation.m[6], -0.5f, 1e-6f);
    EXPECT_EQ(appState.spinStep.m[6], 0.0f);
    EXPECT_EQ(redrawPending, 0);
    EXPECT_EQ(viewWidth, 620);
    EXPECT_EQ(viewHeight, 520);
    EXPECT_EQ(lightMask, 1);
    EXPECT_EQ(radiusStep, 10);
    EXPECT_EQ(stretchStep, 0);
    EXPECT_STREQ(meshFileName, "computer");
    EXPECT_STREQ(userTextureName, "");
    EXPECT_EQ(backgroundTable[1], 0x9492);
    EXPECT_EQ(scene.meshCount, 0);
}

TEST_F(AppStateTest, ResetFreesTheScene) {
    const long live = LiveAllocationCount();
    scene.meshes[0] = CreateMesh("a");
    scene.meshes[1] = CreateMesh("b");
    scene.meshCount = 2;
    ResetAppState();
    EXPECT_EQ(LiveAllocationCount(), live);
    EXPECT_EQ(scene.meshes[0], nullptr);
}

TEST_F(AppStateTest, CurrentMeshRule) {
    Mesh* original = CreateMesh("original");
    Mesh* hair = CreateMesh("hair");
    struct Case {
        int showHair, meshCount;
        Mesh* expected;
    };
    const Case cases[] = {
        {0, 1, original},
        {1, 1, original},
        {0, 2, original},
        {1, 2, hair},
    };
    scene.meshes[0] = original;
    for (const Case& c : cases) {
        appState.showHair = c.showHair;
        scene.meshCount = c.meshCount;
        scene.meshes[1] = c.meshCount == 2 ? hair : nullptr;
        EXPECT_EQ(CurrentMesh(), c.expected) << c.showHair << " " << c.meshCount;
    }
    scene.meshes[1] = hair;
    scene.meshCount = 2;
}

TEST_F(AppStateTest, RequestRedrawSetsBothFlags) {
    appState.fullRedraw = 0;
    RequestRedraw();
    EXPECT_EQ(appState.fullRedraw, 1);
    EXPECT_EQ(redrawPending, 1);
}

// A scripted message queue. Each event is a letter: 'r' asks for a redraw,
// 's' starts the spin, 'x' stops it, 'n' does nothing, 'q' is the quit request.
// A '.' is the point where the queue runs dry: events after it arrive only
// when the loop waits.
struct ScriptedSource {
    std::string events;
    size_t next = 0;
    char taken = 0;
    bool ready = true;
    int framesLeft = 100;  // a safety stop for a loop that never waits
    std::string log;       // the dispatched events and 'F' for each frame

    static int Wait(void* c) {
        auto* s = static_cast<ScriptedSource*>(c);
        while (s->next < s->events.size() && s->events[s->next] == '.') ++s->next;
        if (s->next >= s->events.size()) return 0;
        s->taken = s->events[s->next++];
        return 1;
    }
    static int Peek(void* c) {
        auto* s = static_cast<ScriptedSource*>(c);
        if (s->next >= s->events.size() || s->events[s->next] == '.') {
            if (s->next < s->events.size()) ++s->next;  // the gap passes while drawing
            return 0;
        }
        s->taken = s->events[s->next++];
        return 1;
    }
    static int IsQuit(void* c) { return static_cast<ScriptedSource*>(c)->taken == 'q'; }
    static void Dispatch(void* c) {
        auto* s = static_cast<ScriptedSource*>(c);
        s->log += s->taken;
        if (s->taken == 'r') RequestRedraw();
        if (s->taken == 's') {
            appState.spinning = 1;
            RequestRedraw();
        }
        if (s->taken == 'x') appState.spinning = 0;
    }
    static int Ready(void* c) { return static_cast<ScriptedSource*>(c)->ready ? 1 : 0; }
    static void Draw(void* c) {
        auto* s = static_cast<ScriptedSource*>(c);
        s->log += 'F';
        if (--s->framesLeft <= 0) s->events.insert(s->next, "q");
    }
    EventSource Source() { return EventSource{this, Wait, Peek, IsQuit, Dispatch, Ready, Draw}; }
};

TEST_F(AppStateTest, FramesAreDrawnOnDemand) {
    struct Case {
        const char* events;
        bool ready;
        int result;
        const char* log;
    };
    const Case cases[] = {
        // No redraw asked for: no frame.
        {"nnq", true, 1, "nn"},
        // One request, one frame; the loop then waits again.
        {"r.n.q", true, 1, "rFn"},
        // Requests while idle, between frames: one frame each.
        {"rr.q", true, 1, "rFrF"},
        // A frame is followed by one waiting event before the next frame.
        {"rrn.q", true, 1, "rFrFn"},
        // While spinning, frames follow each other, one event between two.
        // (each gap lasts one frame; the frame after the stop was asked for
        // before it)
        {"s.....x.q", true, 1, "sFFFFFFxF"},
        {"snnx.q", true, 1, "sFnFnFxF"},
        // The quit request ends the loop between frames too.
        {"sq", true, 1, "sF"},
        // Before the display exists nothing is drawn.
        {"rrs.q", false, 1, "rrs"},
        // The source ending without quit.
        {"r", true, 0, "rF"},
    };
    for (const Case& c : cases) {
        ResetAppState();
        ScriptedSource source;
        source.events = c.events;
        source.ready = c.ready;
        EXPECT_EQ(RunFrameLoop(source.Source()), c.result) << c.events;
        EXPECT_EQ(source.log, c.log) << c.events;
    }
}

TEST_F(AppStateTest, SpinningWithoutInputDrawsContinuously) {
    ScriptedSource source;
    source.events = "s";
    source.framesLeft = 50;
    EXPECT_EQ(RunFrameLoop(source.Source()), 1);
    EXPECT_EQ(source.log, "s" + std::string(50, 'F'));
}

}  // namespace
