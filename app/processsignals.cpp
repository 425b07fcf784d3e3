#include "processsignals.h"

#include <csignal>

namespace ProcessSignals {

void ignoreFileSizeLimitSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace ProcessSignals
