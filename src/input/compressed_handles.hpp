// Owning handles of the compressed-log readers, declared without their
// libraries' headers: the readers are opaque here, so includers of the log
// reader need neither zlib, libbz2 nor ISA-L.  The closers are defined beside
// the log reader (log_reader.cpp).
#pragma once

#include <memory>

struct gzip_stream;
struct bzip2_reader;

struct gzip_stream_closer {  // closes the descriptor the stream was given too
    void operator()(gzip_stream* g) const noexcept;
};

struct bzip2_reader_closer {  // stops its threads and closes its descriptor
    void operator()(bzip2_reader* r) const noexcept;
};

using owned_gzip_stream = std::unique_ptr<gzip_stream, gzip_stream_closer>;
using owned_bzip2_reader = std::unique_ptr<bzip2_reader, bzip2_reader_closer>;
