#include "platform/Unresponsive.h"

#include <QPointer>
#include <QTimer>

#include <memory>
#include <utility>

namespace platform {

Unresponsive::Unresponsive(std::function<void(const QString& key)> gone) : m_gone(std::move(gone)) {}

void Unresponsive::silenced(const QString& key, Check check) {
    if (m_silent.contains(key))
        return;
    m_silent.insert(key, std::move(check));
    later(key);
}

void Unresponsive::later(const QString& key) {
    QTimer::singleShot(interval, &m_context, [this, key] { check(key); });
}

void Unresponsive::check(const QString& key) {
    const auto found = m_silent.constFind(key);
    if (found == m_silent.constEnd())
        return;
    // A context of its own per check: an answer that comes after the key was forgotten, or twice,
    // changes nothing.
    auto* asking = new QObject(&m_context);
    QPointer<QObject> guard(asking);
    auto told = std::make_shared<bool>(false);
    (*found)(asking, [this, key, guard, told](Answer answer) {
        if (!guard || std::exchange(*told, true))
            return;
        guard->deleteLater();
        if (!m_silent.contains(key))
            return;
        switch (answer) {
        case Answer::Silent:
            later(key);
            return;
        case Answer::Gone:
            m_silent.remove(key);
            if (m_gone)
                m_gone(key);
            return;
        case Answer::Answered:
            m_silent.remove(key);
            return;
        }
    });
}

} // namespace platform
