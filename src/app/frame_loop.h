// Render on demand: the message loop draws a frame only when one was asked
// for, and keeps drawing frame after frame while the model spins, handling
// one waiting event between two frames. Written over an event source so the
// Windows loop and the tests run the same schedule.
#pragma once

struct EventSource {
    void* context;
    // Waits for the next event and takes it. Returns 0 when no event can come
    // any more (the source failed or ran out), 1 otherwise.
    int (*waitEvent)(void* context);
    // Takes the next event if one is waiting, without waiting; returns 1 when
    // one was taken.
    int (*peekEvent)(void* context);
    // The event just taken is the quit request.
    int (*isQuit)(void* context);
    // Hands the event just taken to its window.
    void (*dispatch)(void* context);
    // The display window and its frame buffer exist.
    int (*displayReady)(void* context);
    // Draws one frame of the scene into the display.
    void (*drawFrame)(void* context);
};

// Runs until the quit request (returns 1) or until the source ends (returns
// 0). Reads and clears redrawPending; sets it again after each frame while
// appState.view.spinning is set.
int RunFrameLoop(const EventSource& source);
