#pragma once

class NotesStore;

// Saves the notes when the process ends through exit() rather than a quit:
// Qt's X11 connection calls exit() when the X server goes away (a logout
// without a session manager), and no quit signal is sent then. While one
// of these lives, the store is saved from an exit handler, or by whoever
// calls saveNow() on the way out.
class LastChanceSave
{
public:
    explicit LastChanceSave(NotesStore& store);
    ~LastChanceSave();
    LastChanceSave(const LastChanceSave&) = delete;
    LastChanceSave& operator=(const LastChanceSave&) = delete;

    // Saves the guarded store once; later calls do nothing.
    static void saveNow();
};
