#pragma once

#include <QString>

// The addresses and names the browser is built around, each held here once.
namespace BrowserAddresses {
// The web search engine: typed searches go to https://<host>/search?q=…, and
// its root page is where a new tab starts. It keeps no profile of who searches.
inline constexpr char SearchEngineHost[] = "search.brave.com";

inline QString searchAddress()
{
    return QStringLiteral("https://") + QLatin1String(SearchEngineHost) + QStringLiteral("/search?q=");
}

inline QString startPage()
{
    return QStringLiteral("https://") + QLatin1String(SearchEngineHost) + QStringLiteral("/");
}

struct DefaultTab
{
    const char* address;
    const char* title;
};

// The tabs every start opens with, left to right.
inline constexpr DefaultTab DefaultTabs[] = {
    {"https://chatgpt.com/", "ChatGPT"},
    {"https://claude.ai/", "Claude"},
};

// Every tab presents itself to sites as a tablet browser.
inline constexpr char UserAgent[] = "Mozilla/5.0 (iPad; CPU OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
                                    "Gecko) Version/17.0 Mobile/15E148 Safari/604.1";

// The chip label of a page with neither title nor host.
inline constexpr char NewTabTitle[] = "New Tab";
} // namespace BrowserAddresses
