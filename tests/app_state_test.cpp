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
    EXPECT_EQ(appState.view.spinning, 0);
    EXPECT_EQ(appState.view.fullRedraw, 1);
    EXPECT_EQ(appState.view.viewFlags, ViewBackculled);
    EXPECT_EQ(appState.view.background, 0x528A);
    EXPECT_EQ(appState.view.zoom, 1.0f);
    EXPECT_EQ(appState.hairControls.hair.radius, 0.0005f);
    EXPECT_EQ(appState.hairControls.hair.onlyDynamic, 1);
    EXPECT_EQ(appState.hairControls.hair.reduce, 0);
    EXPECT_EQ(appState.texturing.currentTexture, &appState.texturing.textures[TextureWood]);
    EXPECT_EQ(appState.texturing.textures[TextureUser].pixels, nullptr);
    EXPECT_EQ(appState.texturing.textures[TextureUser].width, 1);
    EXPECT_NEAR(appState.view.rotation.m[5], 0.866025f, 1e-6f);
    EXPECT_NEAR(appState.view.rotation.m[6], -0.5f, 1e-6f);
    EXPECT_EQ(appState.view.spinStep.m[6], 0.0f);
    EXPECT_EQ(appState.view.redrawPending, 0);
    EXPECT_EQ(appState.view.viewWidth, 620);
    EXPECT_EQ(appState.view.viewHeight, 520);
    EXPECT_EQ(appState.shading.lightMask, 1);
    EXPECT_EQ(appState.hairControls.radiusStep, 10);
    EXPECT_EQ(appState.hairControls.stretchStep, 0);
    EXPECT_STREQ(appState.model.meshFileName, "computer");
    EXPECT_STREQ(appState.texturing.userTextureName, "");
    EXPECT_EQ(backgroundTable[1], 0x9492);
    EXPECT_EQ(appState.model.scene.meshCount, 0);
}

TEST_F(AppStateTest, ResetFreesTheScene) {
    const long live = LiveAllocationCount();
    appState.model.scene.meshes[0] = CreateMesh("a");
    appState.model.scene.meshes[1] = CreateMesh("b");
    appState.model.scene.meshCount = 2;
    ResetAppState();
    EXPECT_EQ(LiveAllocationCount(), live);
    EXPECT_EQ(appState.model.scene.meshes[0], nullptr);
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
    appState.model.scene.meshes[0] = original;
    for (const Case& c : cases) {
        appState.model.showHair = c.showHair;
        appState.model.scene.meshCount = c.meshCount;
        appState.model.scene.meshes[1] = c.meshCount == 2 ? hair : nullptr;
        EXPECT_EQ(CurrentMesh(), c.expected) << c.showHair << " " << c.meshCount;
    }
    appState.model.scene.meshes[1] = hair;
    appState.model.scene.meshCount = 2;
}

TEST_F(AppStateTest, RequestRedrawSetsBothFlags) {
    appState.view.fullRedraw = 0;
    RequestRedraw();
    EXPECT_EQ(appState.view.fullRedraw, 1);
    EXPECT_EQ(appState.view.redrawPending, 1);
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
            appState.view.spinning = 1;
            RequestRedraw();
        }
        if (s->taken == 'x') appState.view.spinning = 0;
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
