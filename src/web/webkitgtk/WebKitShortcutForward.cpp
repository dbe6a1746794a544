#include "WebKitShortcutForward.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

#include "web/WebView.h"

#include <webkit2/webkit2.h>

namespace {
// Letters, digits and punctuation carry their Qt key in their keysym; the
// panel's shortcuts are all of that kind.
int qtKey(guint keyval)
{
    // Besides them, the browser's own keys: Alt+arrows, F5.
    switch (keyval) {
    case GDK_KEY_Left:
        return Qt::Key_Left;
    case GDK_KEY_Right:
        return Qt::Key_Right;
    case GDK_KEY_F5:
        return Qt::Key_F5;
    default:
        break;
    }
    const guint upper = gdk_keyval_to_upper(keyval);
    if (upper >= 0x21 && upper <= 0x7E)
        return static_cast<int>(upper);
    return 0;
}

Qt::KeyboardModifiers qtModifiers(guint state)
{
    Qt::KeyboardModifiers modifiers;
    if (state & GDK_CONTROL_MASK)
        modifiers |= Qt::ControlModifier;
    if (state & GDK_SHIFT_MASK)
        modifiers |= Qt::ShiftModifier;
    if (state & GDK_MOD1_MASK)
        modifiers |= Qt::AltModifier;
    if (state & (GDK_SUPER_MASK | GDK_MOD4_MASK))
        modifiers |= Qt::MetaModifier;
    return modifiers;
}

// True when the key matched an enabled window-wide action of the panel and
// triggered it.
bool triggerPanelAction(QWidget* container, guint keyval, guint keyState)
{
    const int code = qtKey(keyval);
    const guint state = keyState & gtk_accelerator_get_default_mod_mask();
    // Plain and shifted keys are typing; only chords and function keys can
    // be the panel's.
    const bool functionKey = code == Qt::Key_F5;
    if (!container || !code
        || (!functionKey && !(state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_MOD4_MASK))))
        return false;
    const QKeySequence pressed(QKeyCombination(qtModifiers(state), Qt::Key(code)));
    const auto actions = container->window()->findChildren<QAction*>();
    for (QAction* action : actions) {
        auto* owner = qobject_cast<QWidget*>(action->parent());
        if (action->shortcutContext() != Qt::WindowShortcut || !action->isEnabled() || (owner && !owner->isVisible()))
            continue;
        for (const QKeySequence& shortcut : action->shortcuts()) {
            if (shortcut.matches(pressed) == QKeySequence::ExactMatch) {
                action->trigger();
                return true;
            }
        }
    }
    return false;
}

gboolean keyPressed(GtkWidget*, GdkEventKey* key, gpointer view)
{
    return triggerPanelAction(static_cast<WebView*>(view)->widget(), key->keyval, key->state);
}
} // namespace

void WebKitShortcutForward::install(WebKitWebView* page, WebView* view)
{
    g_signal_connect(page, "key-press-event", G_CALLBACK(keyPressed), view);
}
