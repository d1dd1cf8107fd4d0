// tessaly-host.exe RECORDER [OCX]: the monitor control in a process of its own, as a program
// hosts it, for the tests and timing programs that need the shell's stand-in (in the
// caller's process) in another process than the control. It creates the control from the
// built tessaly.ocx (or OCX), hands every event to the recorder the caller registered under
// the class RECORDER, and takes its orders as thread messages (see RemoteControl in harness.h).
#include <windows.h>

#include "base/dispatch.h"
#include "monitor/tessaly.h"
#include "tests/e2e/harness.h"
#include "tests/monitor/host.h"
#include "tests/monitor/ocx.h"

using quellix::ComPtr;
using quellix::e2e::RemoteControl;

namespace {

void Report(IDispatch* recorder, DISPID id, HRESULT result)
{
    VARIANTARG arg = quellix::ByVal(static_cast<LONG>(result));
    DISPPARAMS params{&arg, nullptr, 1, 0};
    recorder->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const tessaly::test::Apartment apartment;
    CLSID recorderClass{};
    if (argc < 2 || argc > 3 || FAILED(CLSIDFromString(argv[1], &recorderClass)))
        return 2;
    ComPtr<IDispatch> recorder;
    if (FAILED(CoCreateInstance(recorderClass, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&recorder))))
        return 3;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue, before the caller posts to it

    const tessaly::test::Ocx ocx(argc == 3 ? argv[2] : quellix::e2e::ProgramFolder() + L"\\tessaly.ocx");
    {
        const ComPtr<_IEEvents> control = ocx.Create<_IEEvents>();
        if (!control)
            return 4;
        const DWORD cookie = tessaly::test::Connect(control.Get(), tessaly::kDiidIEEventsEvents, recorder.Get());
        Report(recorder.Get(), RemoteControl::kDone, cookie ? S_OK : E_FAIL);
        while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != RemoteControl::kQuit) {
            if (message.message == RemoteControl::kEnable) {
                const HRESULT hr = control->put_Enabled(message.wParam ? VARIANT_TRUE : VARIANT_FALSE);
                Report(recorder.Get(), RemoteControl::kDone, hr);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        tessaly::test::Disconnect(control.Get(), tessaly::kDiidIEEventsEvents, cookie);
    }
    const HRESULT unloadable = ocx.CanUnloadNow();
    Report(recorder.Get(), RemoteControl::kDone, unloadable);
    return unloadable == S_OK ? 0 : 1;
}
