#pragma once

#include <memory>
#include <optional>

#include <QTest>
#include <QVariant>

#include "web/WebView.h"

namespace PageScript {

// What a script in the page answers, once it has; an invalid value, and a
// warning naming the script, when no answer comes within the time.
inline QVariant run(WebView& view, const QString& script, int timeoutMs = 10000)
{
    auto answer = std::make_shared<std::optional<QVariant>>();
    view.evaluateJavaScript(script, [answer](const QVariant& value, const QString&) { *answer = value; });
    if (!QTest::qWaitFor([answer] { return answer->has_value(); }, timeoutMs))
        qWarning("The page did not answer: %s", qPrintable(script.left(80)));
    return answer->value_or(QVariant());
}

} // namespace PageScript
