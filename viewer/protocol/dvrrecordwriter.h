#pragma once
// A .dvr writer as the record push uses it. The recording store implements it over its
// DvrStoreContext (create, append, close); the view owns one for a recording and one for a copy.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "viewer/protocol/framerecord.h"

namespace strandel {

class DvrRecordWriter {
public:
    virtual ~DvrRecordWriter() = default;
    // Creates the file (StoreCreateFile); false when it cannot be created, and when a file of
    // that name exists: an earlier recording or copy is never written over.
    virtual bool Create(const std::string &fileName) = 0;
    virtual bool IsOpen() const = 0;
    // Appends one record (StoreAppendRecord): record holds parts 0, 1 and 2 end to end, with
    // the sizes the header gives. False when the record could not be written.
    virtual bool Append(const FrameRecordHeader &header, const uint8_t *record, size_t length) = 0;
    // Finishes the file (StoreCloseFile).
    virtual void Close() = 0;
    // Clears the unit, block, sub-block and file headers before the next file of a roll-over.
    virtual void ClearHeaders() = 0;
    // Bytes written into the current file.
    virtual uint64_t BytesWritten() const = 0;
};

// Makes a fresh writer with zeroed headers for the view's channel count and video standard.
using DvrRecordWriterFactory = std::function<std::unique_ptr<DvrRecordWriter>(int channelCount, bool ntsc)>;

} // namespace strandel
