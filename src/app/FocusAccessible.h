#pragma once

// A screen reader trusts the "focused" state of every object it meets, and
// reads the first one it finds. Qt reports a widget as focused also when the
// keyboard is on its focus proxy, so a tool view and its main control would
// both claim it. The tool views here report only their own focus.
namespace FocusAccessible {
// Once per application; later calls do nothing.
void install();
} // namespace FocusAccessible
