// bzip2 logs read with libbz2, their blocks decoded on worker threads: the
// blocks of a stream are independent, so each is framed as a one-block stream
// of its own, decoded apart and given out in order.  No library header here:
// includers see only the opaque reader.
#pragma once

#include <cstddef>

struct bzip2_reader;

/// Takes the descriptor, positioned at the log's first byte; it is closed
/// with the reader, or at once when the reader cannot be made (nullptr).
/// With fewer than 2 threads every block is decoded on the calling thread by
/// libbz2's own stream reader, and no thread is started.
bzip2_reader* bzip2_reader_open(int fd, int threads);

void bzip2_reader_close(bzip2_reader* r);

/// Points data at the next decoded bytes and returns their count, valid until
/// the next call; 0 once the input has ended.  Every stream of the file is
/// read; a damaged one ends the input where libbz2's stream reader, read
/// 16384 bytes at a time, stops.
std::size_t bzip2_reader_read(bzip2_reader& r, const char*& data);

/// The most worker threads a reader starts, whatever it is offered: each
/// holds a decoder of about 3.6 MB and two blocks of output in flight.
constexpr int bzip2_max_workers = 4;
