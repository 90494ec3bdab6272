// The application-modal loop: nested on the caller's stack, fed by the input source.
#include <HIToolbox/InputSourceStandIn.h>
#include <HIToolbox/HIToolboxPrivate.h>

#include <algorithm>

namespace {

struct ModalLoop {
    HIWindow* window;
    bool quit;
};

std::vector<ModalLoop>& modalLoops()
{
    static std::vector<ModalLoop> loops;
    return loops;
}

}

HIWindow* _HIFrontModalWindow()
{
    auto& loops = modalLoops();
    return loops.empty() ? nullptr : loops.back().window;
}

OSStatus RunAppModalLoopForWindow(WindowRef inWindow)
{
    auto* window = _HIWindowFromRef(inWindow);
    if (!window)
        return errInvalidWindowRef;
    auto& loops = modalLoops();
    loops.push_back({ window, false });
    size_t depth = loops.size();
    OSStatus status = noErr;
    for (;;) {
        if (loops[depth - 1].quit)
            break;
        if (!_HIWindowFromRef(inWindow)) {
            status = eventLoopQuitErr;
            break;
        }
        StandIn::InputSource* source = StandIn::inputSource();
        if (!source || !source->performNextAction(inWindow)) {
            status = eventLoopTimedOutErr;
            break;
        }
    }
    loops.resize(depth - 1);
    return status;
}

OSStatus QuitAppModalLoopForWindow(WindowRef inWindow)
{
    auto* window = _HIWindowFromRef(inWindow);
    if (!window)
        return errInvalidWindowRef;
    auto& loops = modalLoops();
    auto loop = std::find_if(loops.rbegin(), loops.rend(), [window](const ModalLoop& entry) { return entry.window == window; });
    if (loop == loops.rend())
        return paramErr;
    loop->quit = true;
    return noErr;
}
