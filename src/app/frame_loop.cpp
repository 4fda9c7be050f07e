// The render-on-demand schedule of the message loop.
#include "app/frame_loop.h"

#include "app/app_state.h"

int RunFrameLoop(const EventSource& source) {
    void* context = source.context;
    for (;;) {
        if (!source.waitEvent(context)) return 0;
        if (source.isQuit(context)) return 1;
        source.dispatch(context);
        while (source.displayReady(context) && appState.view.redrawPending) {
            appState.view.redrawPending = 0;
            source.drawFrame(context);
            if (appState.view.spinning) appState.view.redrawPending = 1;
            if (source.peekEvent(context)) {
                if (source.isQuit(context)) return 1;
                source.dispatch(context);
            }
        }
    }
}
