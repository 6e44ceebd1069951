#include "window/Dashboard.h"

namespace Dashboard {

QUrl firstAddress(const QString& baseAddress, const QString& page) {
    QUrl url(baseAddress);
    url.setPath(QStringLiteral("/"));
    url.setFragment(page);
    return url;
}

QString stringLiteral(const QString& text) {
    QString literal;
    literal.reserve(text.size() + 2);
    literal += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            literal += QLatin1String("\\\"");
            break;
        case '\'':
            literal += QLatin1String("\\'");
            break;
        case '\\':
            literal += QLatin1String("\\\\");
            break;
        case '\n':
            literal += QLatin1String("\\n");
            break;
        case '\r':
            literal += QLatin1String("\\r");
            break;
        case '\t':
            literal += QLatin1String("\\t");
            break;
        default:
            // Control characters and the two Unicode line terminators would end or break the literal.
            if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                literal += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                literal += c;
        }
    }
    literal += QLatin1Char('"');
    return literal;
}

QString fragmentScript(const QString& page) {
    return QStringLiteral("location.hash = ") + stringLiteral(page);
}

bool isRevealableReport(const QString& id) {
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        const bool ascii =
            (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == '-';
        const bool fullwidth =
            (u >= 0xFF10 && u <= 0xFF19) || (u >= 0xFF21 && u <= 0xFF26) || (u >= 0xFF41 && u <= 0xFF46);
        if (!ascii && !fullwidth)
            return false;
    }
    return true;
}

QString pickScript(const QString& id) {
    return QStringLiteral("(function pick(n){const b=document.querySelector('[data-report=") +
           QLatin1Char('"') + id + QLatin1Char('"') +
           QStringLiteral("]');if(b)b.click();else if(n)setTimeout(()=>pick(n-1),300)})(10)");
}

NavigationDecision decideNavigation(const QUrl& url) {
    if (url.isEmpty())
        return {};
    const QString host = url.host();
    if (host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost"))
        return {true, false};
    if (url.scheme() == QLatin1String("https"))
        return {false, true};
    return {};
}

bool opensNewWindowInBrowser(const QUrl& url) {
    return !url.isEmpty() && url.scheme() == QLatin1String("https");
}

} // namespace Dashboard
