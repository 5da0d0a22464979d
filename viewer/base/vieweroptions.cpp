#include "viewer/base/vieweroptions.h"

#include "viewer/base/global.h"
#include "platform/settings.h"

#include <cstring>

namespace strandel {

ViewerOptions &GetViewerOptions()
{
    static ViewerOptions options;
    return options;
}

void ReadViewerOptions(ViewerOptions &o)
{
    o = ViewerOptions{};
    o.showChannelTitle = uint8_t(RegReadInt("DisplayChTitle", 1));
    o.showDateTime = uint8_t(RegReadInt("DisplayChDateTime", 0));
    o.showEvent = uint8_t(RegReadInt("DisplayChEvent", 1));
    o.showFrameRate = uint8_t(RegReadInt("DisplayFrameRate", 1));
    for (int i = 0; i < 4; ++i)
        o.ipServer[size_t(i)] = uint8_t(RegReadInt(QString("IpServer%1").arg(i), kBuiltInIpServer[size_t(i)]));
    o.useIpServer = uint8_t(RegReadInt("UseIpServer", 1));
    const QByteArray name =
        RegReadString("IpServerName", QString::fromStdString(IpToString(kBuiltInIpServer.data())), kMaxNameLength)
            .toLatin1();
    std::memcpy(o.ipServerName.data(), name.constData(), size_t(std::min<qsizetype>(name.size(), 127)));
}

void WriteViewerOptions(ViewerOptions &o)
{
    RegWriteInt("DisplayChTitle", o.showChannelTitle);
    RegWriteInt("DisplayChDateTime", o.showDateTime);
    RegWriteInt("DisplayChEvent", o.showEvent);
    RegWriteInt("DisplayFrameRate", o.showFrameRate);
    for (int i = 0; i < 4; ++i)
        RegWriteInt(QString("IpServer%1").arg(i), o.ipServer[size_t(i)]);
    RegWriteInt("UseIpServer", o.useIpServer);
    o.ipServerName[127] = 0;
    RegWriteString("IpServerName", QString::fromLatin1(o.ipServerName.data()));
}

} // namespace strandel
