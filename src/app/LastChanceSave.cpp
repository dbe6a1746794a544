#include "LastChanceSave.h"

#include <atomic>
#include <cstdlib>

#include "notes/NotesStore.h"

namespace {
// An exit handler takes no arguments, so the store it saves has to be found here.
std::atomic<NotesStore*> guardedStore {nullptr};
std::atomic<bool> handlerRegistered {false};
} // namespace

LastChanceSave::LastChanceSave(NotesStore& store)
{
    guardedStore = &store;
    if (!handlerRegistered.exchange(true))
        std::atexit(&LastChanceSave::saveNow);
}

LastChanceSave::~LastChanceSave()
{
    guardedStore = nullptr;
}

void LastChanceSave::saveNow()
{
    NotesStore* store = guardedStore.exchange(nullptr);
    if (!store)
        return;
    // The views listening to the store may already be beyond use.
    store->blockSignals(true);
    store->saveBeforeExit();
}
