#pragma once

// Script text shared by the page scripts that deliver a paste: sets `target`
// to the element that holds the keyboard focus, inside same-origin frames and
// open shadow roots. A literal, so it joins the scripts at compile time.
// clang-format off
#define QUILLNOOK_FOCUSED_ELEMENT_JS                                                          \
    "var target = document.activeElement || document.body || document.documentElement;\n"    \
    "for (;;) {\n"                                                                            \
    "    var inner = null;\n"                                                                 \
    "    try {\n"                                                                             \
    "        inner = (target.shadowRoot && target.shadowRoot.activeElement)\n"                \
    "            || (target.contentDocument && target.contentDocument.activeElement);\n"      \
    "    } catch (e) {}\n"                                                                    \
    "    if (!inner || inner === target)\n"                                                   \
    "        break;\n"                                                                        \
    "    target = inner;\n"                                                                   \
    "}\n"
// clang-format on
