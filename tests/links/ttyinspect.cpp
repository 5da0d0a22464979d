#include "ttyinspect.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace strandel::test {

TtyLine InspectTty(int fd)
{
    termios2 t{};
    TtyLine line;
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return line;
    line.ok = true;
    line.baud = t.c_ospeed;
    line.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    line.vtime = t.c_cc[VTIME];
    return line;
}

} // namespace strandel::test
