// Owning handles of the compression libraries, declared without their
// headers: zlib's gzFile points to a struct it keeps to itself and libbz2's
// BZFILE is void, so includers of the log reader need neither library.  The
// closers are defined beside the reader (log_reader.cpp).
#pragma once

#include <memory>

struct gzFile_s;

struct gz_closer {  // gzclose, which closes the descriptor given to gzdopen too
    void operator()(gzFile_s* f) const noexcept;
};

struct bz_read_closer {  // BZ2_bzReadClose; the FILE* under the stream stays open
    void operator()(void* b) const noexcept;
};

using owned_gz = std::unique_ptr<gzFile_s, gz_closer>;
using owned_bz_read = std::unique_ptr<void, bz_read_closer>;  // from BZ2_bzReadOpen
