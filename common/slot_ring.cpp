// The ring's counts are kept per slot, the rounds of items that went through it, so
// that items may be published and given back out of order. Each side wakes the
// other only when what that side waits for has come.
#include "common/slot_ring.h"

namespace {

int slot_of(const SlotRing& ring, std::int64_t item) { return static_cast<int>(item % ring.slots); }
std::int64_t round_of(const SlotRing& ring, std::int64_t item) { return item / ring.slots; }

bool is_free(const SlotRing& ring, std::int64_t item)
{
    return ring.freed_rounds[slot_of(ring, item)] >= round_of(ring, item);
}

bool is_published(const SlotRing& ring, std::int64_t item)
{
    return ring.filled_rounds[slot_of(ring, item)] > round_of(ring, item);
}

bool all_free(const SlotRing& ring, std::int64_t first, std::int64_t last)
{
    for (std::int64_t item = first; item <= last; ++item)
        if (!is_free(ring, item))
            return false;
    return true;
}

bool all_published(const SlotRing& ring, std::int64_t first, std::int64_t last)
{
    for (std::int64_t item = first; item <= last; ++item)
        if (!is_published(ring, item))
            return false;
    return true;
}

void claim_next(SlotRing& ring, std::int64_t& item)
{
    item = ring.taken;
    ring.taken += 1;
}

}  // namespace

bool wait_for_slot(SlotRing& ring, int producer, std::int64_t item, std::int64_t until)
{
    std::unique_lock<std::mutex> hold(ring.lock);
    if (is_free(ring, item) || ring.stopped)
        return !ring.stopped;
    ring.wanted_room[producer] = until;
    ring.freed[producer].wait(hold, [&] { return all_free(ring, item, until) || ring.stopped; });
    ring.wanted_room[producer] = -1;
    return !ring.stopped;
}

void publish_item(SlotRing& ring, std::int64_t item)
{
    const std::lock_guard<std::mutex> hold(ring.lock);
    ring.filled_rounds[slot_of(ring, item)] = round_of(ring, item) + 1;
    if (ring.wanted_item >= 0 && is_published(ring, ring.wanted_item))
        ring.published.notify_one();
}

void end_items(SlotRing& ring)
{
    const std::lock_guard<std::mutex> hold(ring.lock);
    ring.ended = true;
    ring.published.notify_all();
}

bool take_item(SlotRing& ring, std::int64_t& item, int ahead)
{
    std::unique_lock<std::mutex> hold(ring.lock);
    if (!is_published(ring, ring.taken) && !ring.ended) {
        // Another consumer may take the item meanwhile: the wait follows ring.taken.
        ring.wanted_item = ring.taken + ahead;
        ring.published.wait(hold, [&] { return all_published(ring, ring.taken, ring.taken + ahead) || ring.ended; });
        ring.wanted_item = -1;
    }
    if (!is_published(ring, ring.taken))
        return false;
    claim_next(ring, item);
    return true;
}

bool take_waiting_item(SlotRing& ring, std::int64_t& item, int waiting)
{
    const std::lock_guard<std::mutex> hold(ring.lock);
    if (!all_published(ring, ring.taken, ring.taken + waiting - 1))
        return false;
    claim_next(ring, item);
    return true;
}

void give_back(SlotRing& ring, std::int64_t item)
{
    const std::lock_guard<std::mutex> hold(ring.lock);
    ring.freed_rounds[slot_of(ring, item)] = round_of(ring, item) + 1;
    for (int producer = 0; producer < most_ring_producers; ++producer)
        if (ring.wanted_room[producer] >= 0 && is_free(ring, ring.wanted_room[producer]))
            ring.freed[producer].notify_one();
}

void stop_items(SlotRing& ring)
{
    const std::lock_guard<std::mutex> hold(ring.lock);
    ring.stopped = true;
    for (std::condition_variable& producer : ring.freed)
        producer.notify_all();
}
