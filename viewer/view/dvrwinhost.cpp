#include "viewer/view/dvrwinhost.h"

namespace strandel {

namespace {
DvrWinHost *host = nullptr;
}

DvrWinHost *GetDvrWinHost() { return host; }
void SetDvrWinHost(DvrWinHost *h) { host = h; }

} // namespace strandel
