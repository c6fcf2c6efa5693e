#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/record_pipeline.hpp"

namespace {

template <std::size_t N>
void
fill(char (&field)[N], std::size_t length, char c)
{
    std::memset(field, c, length);
    field[length] = '\0';
    // What lies after the NUL must not travel.
    if (length + 1 < N)
        std::memset(field + length + 1, '#', N - length - 1);
}

// A record whose texts have the given lengths, each of its own letter.
log_record
record_of(std::size_t host, std::size_t request, std::size_t referrer, std::size_t agent,
          std::size_t search, std::size_t user, int n)
{
    log_record r;
    fill(r.host, host, 'h');
    fill(r.request, request, 'q');
    fill(r.referrer, referrer, 'r');
    fill(r.agent, agent, 'a');
    fill(r.search_text, search, 's');
    fill(r.user, user, 'u');
    r.status = 200 + n;
    r.bytes = 1000000007ull * static_cast<unsigned>(n);
    return r;
}

void
expect_same(const log_record& a, const counted_record& b, const char* referrer = nullptr)
{
    EXPECT_STREQ(a.host, b.host);
    EXPECT_STREQ(a.request, b.request);
    EXPECT_STREQ(referrer != nullptr ? referrer : a.referrer, b.referrer);
    EXPECT_STREQ(a.agent, b.agent);
    EXPECT_STREQ(a.search_text, b.search_text);
    EXPECT_STREQ(a.user, b.user);
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.bytes, b.bytes);
}

}  // namespace

// Texts of every length around a piece's edges and of their arrays' full
// capacity, packed one after the other into one batch (which grows several
// times on the way), are viewed unchanged, none spoiled by a neighbour's
// copy, and the referrer table's rewrite of a referrer spoils none either.
TEST(RecordPipeline, PackedRecordsAreViewedUnchanged)
{
    const std::size_t sizes[] = {0, 1, 15, 16, 17, 18, 19, 31, 32, 33, 63};
    std::vector<log_record> records;
    int n = 0;
    for (std::size_t a : sizes) {
        for (std::size_t b : sizes)
            records.push_back(record_of(a, b, (a * 7 + b) % 64, b, a, (a + b) % 64, n++));
    }
    records.push_back(record_of(sizeof(log_record::host) - 1, sizeof(log_record::request) - 1,
                                sizeof(log_record::referrer) - 1, sizeof(log_record::agent) - 1,
                                sizeof(log_record::search_text) - 1, sizeof(log_record::user) - 1,
                                n++));
    // Enough of the longest to grow the packed text past its first size.
    for (int i = 0; i < 200; ++i)
        records.push_back(record_of(255, 4000, 1000, 127, 255, 63, n++));
    records.push_back(record_of(0, 0, 0, 0, 0, 0, n++));

    auto batch = std::make_unique<record_batch>();
    std::vector<std::uint32_t> offsets;
    for (const log_record& r : records) {
        offsets.push_back(static_cast<std::uint32_t>(batch->packed_size));
        pack_record(r, *batch);
    }
    ASSERT_GT(batch->packed_capacity, std::size_t{1} << 18);
    // Viewed out of order, into a view whose host is another's, and each
    // referrer rewritten as the referrer table rewrites a "-".
    constexpr char direct[] = "- (Direct Request)";
    counted_record view;
    std::memset(view.host, 'x', sizeof view.host - 1);
    view.host[sizeof view.host - 1] = '\0';
    for (std::size_t i = records.size(); i-- > 0;) {
        text_lengths lengths{};
        view_packed_record(*batch, offsets[i], view, lengths);
        SCOPED_TRACE(i);
        expect_same(records[i], view);
        EXPECT_EQ(lengths.request, std::strlen(records[i].request));
        EXPECT_EQ(lengths.referrer, std::strlen(records[i].referrer));
        EXPECT_EQ(lengths.agent, std::strlen(records[i].agent));
        EXPECT_EQ(lengths.user, std::strlen(records[i].user));
        std::memcpy(view.referrer, direct, sizeof direct);
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        text_lengths lengths{};
        view_packed_record(*batch, offsets[i], view, lengths);
        SCOPED_TRACE(i);
        expect_same(records[i], view, direct);
    }

    // A batch emptied for reuse packs from its start again.
    batch->clear();
    EXPECT_EQ(batch->packed_size, 0u);
    pack_record(records[5], *batch);
    text_lengths lengths{};
    view_packed_record(*batch, 0, view, lengths);
    expect_same(records[5], view);
}

// A thread that finds the log taken gets a read batch to prepare instead of
// waiting for the log: the readers keep one ahead.  The counting thread
// still counts in log order, whoever prepared what.
TEST(RecordPipeline, ReadBatchesWaitForAThreadFindingTheLogTaken)
{
    record_pipeline pipeline(2, false);
    pipeline.start();
    const batch_work first = pipeline.next(false);
    ASSERT_EQ(first.what, batch_work::task::read);
    pipeline.read(first.batch);
    const batch_work second = pipeline.next(false);  // one read batch waits: read on
    ASSERT_EQ(second.what, batch_work::task::read);
    const batch_work other = pipeline.next(false);  // the log is taken
    ASSERT_EQ(other.what, batch_work::task::prepare);
    EXPECT_EQ(other.batch, first.batch);
    pipeline.read(second.batch);
    const batch_work third = pipeline.next(true);  // nothing prepared yet: read
    ASSERT_EQ(third.what, batch_work::task::read);
    third.batch->last = true;
    pipeline.read(third.batch);
    const batch_work oldest = pipeline.next(true);
    ASSERT_EQ(oldest.what, batch_work::task::prepare);
    EXPECT_EQ(oldest.batch, second.batch);
    pipeline.prepared(second.batch);  // prepared out of order
    pipeline.prepared(first.batch);
    for (const record_batch* expected : {first.batch, second.batch}) {
        const batch_work w = pipeline.next(true);
        ASSERT_EQ(w.what, batch_work::task::count);
        EXPECT_EQ(w.batch, expected);
        pipeline.give_back(w.batch);
    }
    const batch_work last = pipeline.next(true);
    ASSERT_EQ(last.what, batch_work::task::prepare);
    EXPECT_EQ(last.batch, third.batch);
    pipeline.prepared(third.batch);
    EXPECT_EQ(pipeline.next(true).batch, third.batch);
    pipeline.finish();
    EXPECT_EQ(pipeline.next(false).what, batch_work::task::none);
}
