#pragma once

// How long Quillnook waits for a desktop service on the session bus.
namespace DBusCalls {
// Any answer: past this a call counts as unanswered and the caller's
// fallback (or error) follows.
constexpr int ReplyTimeoutMs = 5000;
// The first question to a service that the bus starts on demand (the
// portals, the tray watcher, Plasma's shortcut service): starting it counts
// too. Never waited for on the way to the panel.
constexpr int ActivationTimeoutMs = 2 * ReplyTimeoutMs;
} // namespace DBusCalls
