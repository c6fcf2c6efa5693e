// Owning handles of the database libraries: Berkeley DB (the DNS cache and the
// Terrabase file) and libmaxminddb (the GeoIP2 country database).
#pragma once

#include <memory>

#include <db.h>
#include <maxminddb.h>

struct db_closer {
    void operator()(DB* db) const noexcept { db->close(db, 0); }
};

/// A handle whose open fails still has to be closed: keep it from db_create on.
using owned_db = std::unique_ptr<DB, db_closer>;

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
