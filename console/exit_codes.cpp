#include "console/exit_codes.h"

namespace kestrel {

ExitCode ExitCodeFor(DownloadOutcome outcome) {
    switch (outcome) {
    case DownloadOutcome::Completed:
        return kExitSuccess;
    case DownloadOutcome::SendFailed:
        return kExitSendFailed;
    case DownloadOutcome::DriverFileFailed:
    case DownloadOutcome::LoadFailed:
        return kExitDriver;
    case DownloadOutcome::SocketCreateFailed:
    case DownloadOutcome::ConnectFailed:
        return kExitConnect;
    case DownloadOutcome::ConfigurationFailed:
        return kExitConfiguration;
    case DownloadOutcome::OpenFailed:
        return kExitPortOpen;
    case DownloadOutcome::FileOpenFailed:
    case DownloadOutcome::FileEmpty:
        return kExitFirmware;
    case DownloadOutcome::NetworkWriteFailed:
        return kExitNetworkWrite;
    }
    return kExitSendFailed;
}

ExitCode CombinedExitCode(const ExitCode* codes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (codes[i] != kExitSuccess)
            return codes[i];
    return kExitSuccess;
}

} // namespace kestrel
