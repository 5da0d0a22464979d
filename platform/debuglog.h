#pragma once
// The debug log. Lines cost nothing while no sink listens (the debug window is hidden).
#include <functional>
#include <string>

namespace strandel {

using DebugSink = std::function<void(const std::string &line)>;

// The sink receives each line, already cut to 10239 bytes and stripped of trailing CR/LF.
// It may be called on any thread. An empty function removes the sink.
void SetDebugSink(DebugSink sink);
bool DebugSinkActive();

// printf-style; returns the number of bytes logged (0 when nothing listens).
int DebugPrint(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace strandel
