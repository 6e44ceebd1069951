#pragma once

#include "platform/Accessibility.h"
#include "platform/RunningApplications.h"
#include "platform/Targeting.h"
#include "platform/WindowList.h"

#include <QHash>
#include <QPointF>
#include <QSet>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

// In-memory stand-ins for the desktop's targeting ports. Every request made of the accessibility
// fakes is written to one shared log ("save.AXRole", "application 500", "elementAt 10,20"), so a
// test can tell which reads happened, in which order, and that none happened.

class FakeWindowList final : public platform::WindowList {
public:
    std::optional<std::vector<platform::WindowEntry>> entries = std::vector<platform::WindowEntry>{};
    int reads = 0;
    // Whether it tells of changes, and whom to tell.
    bool tellsChanges = false;
    std::function<void()> changed;

    std::optional<std::vector<platform::WindowEntry>> onScreenWindows() override {
        ++reads;
        return entries;
    }
    bool watchChanges(std::function<void()> tell) override {
        changed = std::move(tell);
        return tellsChanges;
    }
    QHash<quint32, QString> titles;
    std::optional<QString> title(quint32 number) override {
        if (!titles.contains(number))
            return std::nullopt;
        return titles.value(number);
    }

    static platform::WindowEntry entry(qint32 pid, quint32 number, const QRectF& bounds, qint64 layer = 0) {
        return {pid, layer, number, bounds, std::nullopt};
    }
};

class FakeRunningApplications final : public platform::RunningApplications {
public:
    QHash<qint32, QString> identifiers; // the processes that are applications
    QSet<qint32> hidden;
    QList<qint32> asked;

    std::optional<QString> bundleIdentifier(qint32 pid) override {
        asked.append(pid);
        if (!identifiers.contains(pid))
            return std::nullopt;
        return identifiers.value(pid);
    }
    bool isHidden(qint32 pid) override { return identifiers.contains(pid) && hidden.contains(pid); }
    QHash<qint32, QString> executables;
    std::optional<QString> executable(qint32 pid) override {
        if (!executables.contains(pid))
            return std::nullopt;
        return executables.value(pid);
    }
};

using FakeLog = std::shared_ptr<QStringList>;

class FakeAXElement final : public platform::AXElement {
public:
    FakeAXElement(QString name, FakeLog log) : name(std::move(name)), m_log(std::move(log)) {}

    QString name;
    QHash<QString, platform::AXValue> attributes;
    // False: every request goes unanswered, as with an application that never answers.
    bool answers = true;
    QStringList actions;

    std::optional<platform::AXValue> attribute(const QString& attribute) override {
        m_log->append(name + QLatin1Char('.') + attribute);
        if (!answers)
            return std::nullopt;
        const auto found = attributes.constFind(attribute);
        if (found == attributes.constEnd())
            return std::nullopt;
        return *found;
    }
    bool setAttribute(const QString& attribute, const platform::AXValue& value) override {
        m_log->append(name + QLatin1String(".set ") + attribute);
        if (!answers)
            return false;
        attributes.insert(attribute, value);
        return true;
    }
    bool performAction(const QString& action) override {
        m_log->append(name + QLatin1String(".perform ") + action);
        actions.append(action);
        return answers;
    }

    FakeAXElement& set(const QString& attribute, platform::AXValue value) {
        attributes.insert(attribute, std::move(value));
        return *this;
    }
    FakeAXElement& setFrame(const QRectF& rect) {
        return set(QStringLiteral("AXPosition"), rect.topLeft()).set(QStringLiteral("AXSize"), rect.size());
    }
    FakeAXElement& setChildren(const QList<platform::AXElementRef>& children) {
        return set(QStringLiteral("AXChildren"), children);
    }

private:
    FakeLog m_log;
};

class FakeAccessibility final : public platform::Accessibility {
public:
    explicit FakeAccessibility(FakeLog log) : m_log(std::move(log)) {}

    bool trusted = true;
    bool grantsOnRequest = false;
    bool hasSettings = true;
    QHash<qint32, std::shared_ptr<FakeAXElement>> applications;
    // What lies at a point; by default nothing.
    std::function<platform::AXElementRef(float x, float y)> hit;
    QList<std::chrono::milliseconds> timeouts;
    int settingsOpened = 0;

    bool isTrusted() override { return trusted; }
    bool requestTrust() override {
        trusted = trusted || grantsOnRequest;
        return trusted;
    }
    bool openSettings() override {
        settingsOpened += hasSettings;
        return hasSettings;
    }
    platform::AXElementRef application(qint32 pid, std::chrono::milliseconds timeout) override {
        m_log->append(QStringLiteral("application %1").arg(pid));
        timeouts.append(timeout);
        return applications.value(pid);
    }
    platform::AXElementRef elementAt(const platform::AXElementRef& application, float x, float y) override {
        m_log->append(QStringLiteral("elementAt %1,%2").arg(x).arg(y));
        const auto* fake = dynamic_cast<FakeAXElement*>(application.get());
        if (!fake || !fake->answers || !hit)
            return nullptr;
        return hit(x, y);
    }

private:
    FakeLog m_log;
};

// A desktop of fakes sharing one log.
struct FakeDesktop {
    FakeLog log = std::make_shared<QStringList>();
    FakeWindowList windows;
    FakeRunningApplications applications;
    FakeAccessibility accessibility{log};
    // Whatever else answers from this desktop (TargetingThrough.h); last, so it goes first.
    std::shared_ptr<void> through;

    platform::TargetingPorts ports() { return {windows, applications, accessibility}; }

    std::shared_ptr<FakeAXElement> element(const QString& name) {
        return std::make_shared<FakeAXElement>(name, log);
    }
    // The application element of a process, created on first use.
    FakeAXElement& application(qint32 pid) {
        auto& app = accessibility.applications[pid];
        if (!app)
            app = element(QStringLiteral("app%1").arg(pid));
        return *app;
    }
};
