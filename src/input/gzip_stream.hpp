// gzip logs decoded by ISA-L, with zlib's gzread as the reference for every
// input ISA-L does not read cleanly to its end.  No library header here:
// includers see only the opaque stream.
#pragma once

#include <cstddef>

struct gzip_stream;

/// Takes the descriptor, positioned at the log's first byte; it is closed
/// with the stream, or at once when the stream cannot be made (nullptr).
gzip_stream* gzip_stream_open(int fd);

void gzip_stream_close(gzip_stream* g);

/// Points data at the next decoded bytes and returns their count, valid until
/// the next call; 0 once the input has ended.  The bytes are those gzread
/// would give: every member of the file, a file that is no gzip as it is,
/// trailing garbage after a member ignored, and a damaged member ending the
/// input where gzread would stop.
std::size_t gzip_stream_read(gzip_stream& g, const char*& data);

/// Starts again at the first byte.  Returns 0, or 1 when the descriptor cannot
/// seek.
int gzip_stream_rewind(gzip_stream& g);
