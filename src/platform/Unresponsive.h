#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

namespace platform {

// The applications whose accessibility stopped answering, each under a key of the platform's (a
// bus name, a process id). A call that went unanswered costs one time-out: until the application
// answers again, every call to it gives up at once, and a check runs every `interval` to find out
// whether it does.
class Unresponsive {
public:
    static constexpr std::chrono::milliseconds interval{500};

    enum class Answer { Answered, Silent, Gone };
    // Finds out whether the application answers (AT-SPI asks without blocking; macOS asks on the UI
    // thread, and only at some checks) and tells the answer later, on the UI thread and at most
    // once, unless `context` goes first.
    using Check = std::function<void(QObject* context, std::function<void(Answer)> told)>;

    // Answered and gone applications leave the record; `gone` hears of the latter.
    explicit Unresponsive(std::function<void(const QString& key)> gone = {});

    void silenced(const QString& key, Check check);
    bool isSilent(const QString& key) const { return m_silent.contains(key); }
    void forget(const QString& key) { m_silent.remove(key); }
    void clear() { m_silent.clear(); }

private:
    void later(const QString& key);
    void check(const QString& key);

    std::function<void(const QString&)> m_gone;
    QHash<QString, Check> m_silent;
    // Last, so that the checks in flight go before anything they use.
    QObject m_context;
};

} // namespace platform
