// Owning wrappers for the C library handles the program uses.
#pragma once

#include <cstdio>
#include <memory>

#include <bzlib.h>
#include <db.h>
#include <gd.h>
#include <maxminddb.h>
#include <zlib.h>

struct file_closer {  // the standard streams stay open
    void operator()(std::FILE* f) const noexcept
    {
        if (f != stdin && f != stdout && f != stderr)
            std::fclose(f);
    }
};
struct gz_closer {
    void operator()(gzFile_s* f) const noexcept { gzclose(f); }
};
struct bz_closer {
    void operator()(BZFILE* f) const noexcept { BZ2_bzclose(f); }
};
struct db_closer {
    void operator()(DB* db) const noexcept { db->close(db, 0); }
};
struct gd_destroyer {
    void operator()(gdImage* im) const noexcept { gdImageDestroy(im); }
};

using owned_file = std::unique_ptr<std::FILE, file_closer>;
using owned_gz = std::unique_ptr<gzFile_s, gz_closer>;
using owned_bz = std::unique_ptr<BZFILE, bz_closer>;  // BZFILE is void
using owned_db = std::unique_ptr<DB, db_closer>;
using owned_image = std::unique_ptr<gdImage, gd_destroyer>;

// MMDB_open fills a caller-owned struct instead of returning a pointer.
class owned_mmdb {
  public:
    owned_mmdb() = default;
    owned_mmdb(const owned_mmdb&) = delete;
    owned_mmdb& operator=(const owned_mmdb&) = delete;
    ~owned_mmdb() { close(); }

    int open(const char* path)  // MMDB_SUCCESS or an MMDB error code for MMDB_strerror
    {
        close();
        const int rc = MMDB_open(path, MMDB_MODE_MMAP, &db_);
        is_open_ = (rc == MMDB_SUCCESS);
        return rc;
    }
    void close()
    {
        if (is_open_)
            MMDB_close(&db_);
        is_open_ = false;
    }
    bool is_open() const { return is_open_; }
    MMDB_s* get() { return &db_; }

  private:
    MMDB_s db_{};
    bool is_open_ = false;
};
