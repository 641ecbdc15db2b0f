// The hand-off between a tool's threads: a fixed ring of buffers, item n going
// through slot n % slots, filled by a producer, taken in order by a consumer and
// given back for item n + slots. The ring keeps only the counts and the waits; each
// user keeps its own buffers, so memory stays the same whatever the image's size.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

constexpr int most_ring_slots = 8;
constexpr int most_ring_producers = 2;

// SlotRing{slots} is the start-up state. Producers fill items in any order, each
// numbering its own; consumers take them in order and may give them back in any
// order. One consumer at a time waits.
struct SlotRing {
    int slots = most_ring_slots;  // at most most_ring_slots
    std::mutex lock{};
    std::condition_variable published{};                   // a consumer waits here
    std::condition_variable freed[most_ring_producers]{};  // each producer waits here
    std::int64_t filled_rounds[most_ring_slots] = {};      // items published through each slot
    std::int64_t freed_rounds[most_ring_slots] = {};       // items given back through each slot
    std::int64_t taken = 0;                                // items claimed by consumers
    std::int64_t wanted_room[most_ring_producers] = {-1, -1};  // the last item a waiting producer needs a slot for
    std::int64_t wanted_item = -1;  // the last item the waiting consumer needs, or -1
    bool ended = false;             // the producers will publish no more
    bool stopped = false;           // the consumers want no more: producers return
};

// The producers' side. Waits until item's slot is free; a producer that had to wait
// sleeps until the slots of items up to `until` are free too, since each wake costs
// a pair of context switches. Returns false once the ring is stopped.
bool wait_for_slot(SlotRing& ring, int producer, std::int64_t item, std::int64_t until);
// Hands item's filled slot to the consumers.
void publish_item(SlotRing& ring, std::int64_t item);
// No item after those published: consumers return once they are taken.
void end_items(SlotRing& ring);

// The consumers' side. Claims the next item in order into item, waiting until it is
// published; a consumer that had to wait sleeps until the items up to `ahead` past
// it are published too (or the ring ends). Returns false once the ring has ended and
// every item is taken.
bool take_item(SlotRing& ring, std::int64_t& item, int ahead);
// Claims the next item only when it and the `waiting - 1` after it are published.
bool take_waiting_item(SlotRing& ring, std::int64_t& item, int waiting);
// Item's slot may take the item `slots` after it.
void give_back(SlotRing& ring, std::int64_t item);
// Lets the producers return without filling the rest.
void stop_items(SlotRing& ring);
