// Files without symbolic links: an owning stream handle, the opens that never
// follow a link, and the replacement of a file by writing its successor under
// another name and renaming it.
#pragma once

#include <cstdio>
#include <memory>
#include <type_traits>

struct file_closer {  // the standard streams stay open
    void operator()(std::FILE* f) const noexcept
    {
        if (f != stdin && f != stdout && f != stderr)
            std::fclose(f);
    }
};

using owned_file = std::unique_ptr<std::FILE, file_closer>;

/// open(2) with O_NOFOLLOW added to the flags: a symbolic link as the last
/// part of the path is refused by the open itself, so nothing can swap a link
/// in between a check and the open.  A refused link gives ELOOP on every
/// system.  Returns the descriptor, or -1 with errno set.
int open_no_follow(const char* path, int flags, int mode = 0);

/// Opens the path for writing, created (mode 0666 less the umask) or
/// truncated.  A symbolic link at the path, even a dangling one, is never
/// followed; anything but a regular file (a FIFO, a device) is refused
/// without waiting (ENXIO); a file with other names is not written through
/// them: the path gets a new file of its own.  Returns the stream, or nullptr
/// with errno set, which is ELOOP when the path is a symbolic link.
owned_file open_for_writing(const char* path);

/// Copies every byte of the open file from (from its start, whatever its
/// offset) to the end of to.  False, with errno set, on a failed read or write.
bool copy_contents(int from, int to);

/// Writes a closed file's data to the disk, before it is renamed over the
/// file it replaces: without it a crash soon after the rename can leave that
/// name with nothing in it.  A symbolic link at the path is not followed.
/// False, with errno set, when the file cannot be opened or synced.
bool sync_path(const char* path);

/// Closes a stream that was written to.  False when a write, the flush or
/// the close failed: stdio keeps what it could not write in its buffer and
/// raises the error flag, so a full disk shows here and nowhere else.
bool close_written(owned_file& f);

/// Opens a regular file for reading.  A directory, a FIFO or a device under
/// the name gives nullptr like a missing file: reading it would fail, block
/// or never end.
owned_file open_regular_for_reading(const char* path);

/// Reads one line of a stored file into line (capacity bytes with its NUL),
/// cut to capacity - 1 characters.  The rest of a longer line is passed
/// over, never taken for a line of its own: a damaged file could otherwise
/// smuggle a record in at the cut.  False at the end of the file.
bool read_cut_line(std::FILE* f, char* line, std::size_t capacity);

/// What replace_file did; the caller turns a failure into its message.
enum replace_status : int {
    replace_done = 0,
    replace_work_is_link = 1,   // a symbolic link stands at the work name
    replace_cant_open = 2,      // the work file cannot be created
    replace_write_failed = 3,   // a write, the flush, the sync or the close failed
    replace_rename_failed = 4,  // the work file cannot take the live name
};

/// Writes the live file's new content: returns 0, or non-zero to give up.
using fill_callback = int (*)(std::FILE* f, void* context);

/// Replaces the file live_name by new content without ever leaving it half
/// written: fill(f, context) writes the work file, live_name with ".new"
/// appended, which is checked, flushed and synced to the disk, closed, and
/// only then renamed over live_name.  The work file is always created new,
/// whatever stood at its name.  On any failure the work file is removed
/// (a symbolic link at the work name is refused and left as it is) and the
/// live file stays as it was.  fill need not check its writes: the stream's
/// error flag catches a failed one.
replace_status replace_file(const char* live_name, fill_callback fill, void* context);

/// The same with any callable taking the stream and returning 0 or non-zero.
template <typename Fill>
replace_status
replace_file(const char* live_name, Fill&& fill)
{
    using callable = std::remove_reference_t<Fill>;
    return replace_file(
        live_name,
        [](std::FILE* f, void* context) -> int { return (*static_cast<callable*>(context))(f); },
        const_cast<void*>(static_cast<const void*>(&fill)));
}
