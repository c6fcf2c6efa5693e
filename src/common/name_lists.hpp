// Ordered pattern lists (nlist) and pattern-to-label lists (glist), with the
// one wildcard rule that hiding, ignoring, including and grouping share.
#pragma once

#include <cstddef>

struct nlist_entry {
    char pattern[133];  // at most 132 characters
    nlist_entry* next;
    unsigned char length;  // of the pattern
};

struct glist_entry {
    char pattern[132];  // at most 131 characters
    char label[132];
    glist_entry* next;
    unsigned char length;  // of the pattern
};

/// An ordered singly linked list that only grows; entries are appended at the end.
template <typename Entry> class pattern_list {
  public:
    pattern_list() = default;
    pattern_list(const pattern_list&) = delete;
    pattern_list& operator=(const pattern_list&) = delete;
    pattern_list(pattern_list&& other) noexcept : head_(other.head_), tail_(other.tail_)
    {
        other.head_ = other.tail_ = nullptr;
    }
    pattern_list& operator=(pattern_list&& other) noexcept
    {
        if (this != &other) {
            clear();
            head_ = other.head_;
            tail_ = other.tail_;
            other.head_ = other.tail_ = nullptr;
        }
        return *this;
    }
    ~pattern_list() { clear(); }

    const Entry* first() const { return head_; }
    bool empty() const { return head_ == nullptr; }
    void push_back(Entry* e)
    {
        e->next = nullptr;
        if (tail_)
            tail_->next = e;
        else
            head_ = e;
        tail_ = e;
    }

  private:
    void clear()
    {
        while (head_) {
            Entry* next = head_->next;
            delete head_;
            head_ = next;
        }
        tail_ = nullptr;
    }
    Entry* head_ = nullptr;
    Entry* tail_ = nullptr;
};

using nlist = pattern_list<nlist_entry>;
using glist = pattern_list<glist_entry>;

/// Appends the value as one pattern, cut to 132 characters (with a warning when
/// the verbosity is not 0).  Returns 0, or 1 when memory is exhausted.
int append_nlist(const char* value, nlist& list);

/// Splits the value into pattern and label and appends them.  A leading quote
/// delimits a pattern that may hold blanks; without a label the pattern is its
/// own label.  Returns 0, or 1 when memory is exhausted.
int append_glist(const char* value, glist& list);

const char* match_nlist_entries(const nlist& list, const char* text);
const char* match_glist_entries(const glist& list, const char* text);

/// The pattern of the first entry that matches the text, or nullptr.
inline const char*
match_nlist(const nlist& list, const char* text)
{
    // Most lists are empty: every record asks about a dozen of them.
    return list.empty() ? nullptr : match_nlist_entries(list, text);
}

/// The label of the first entry whose pattern matches the text, or nullptr.
inline const char*
match_glist(const glist& list, const char* text)
{
    return list.empty() ? nullptr : match_glist_entries(list, text);
}

/// The shared wildcard rule: "*x" (the text ends in x after at least one
/// character), "x*" (the text begins with x), "*x*" (the text holds x, x matched
/// on its own), otherwise x anywhere in the text.  Byte-wise, case-sensitive.
bool pattern_matches(const char* pattern, const char* text);
bool pattern_matches(const char* pattern, std::size_t length, const char* text);
