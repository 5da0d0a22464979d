#pragma once
// The `.dvr` writer behind the record push's writer interface.
#include "viewer/protocol/dvrrecordwriter.h"
#include "viewer/store/dvrstore.h"

namespace strandel {

class DvrStoreWriter final : public DvrRecordWriter {
public:
    DvrStoreWriter(int channelCount, bool ntsc);
    ~DvrStoreWriter() override;

    bool Create(const std::string &fileName) override;
    bool IsOpen() const override;
    // Refuses a record whose length is not the sum of the header's part sizes; leaves out (with
    // success) one too big to play back.
    bool Append(const FrameRecordHeader &header, const uint8_t *record, size_t length) override;
    void Close() override;
    void ClearHeaders() override;
    uint64_t BytesWritten() const override;

private:
    DvrStoreContext ctx_;
};

// Writers for the recorder view: one per recording or copy.
DvrRecordWriterFactory StoreWriterFactory();

} // namespace strandel
