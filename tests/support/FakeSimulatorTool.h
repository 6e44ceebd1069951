#pragma once

#include "platform/SimulatorTool.h"

#include <QFile>
#include <QList>

#include <coroutine>
#include <functional>

// Answers each run with what the test says, and remembers the arguments it was given.
class FakeSimulatorTool final : public platform::SimulatorTool {
public:
    using Answer = std::function<platform::ToolRun(const QStringList& arguments)>;

    explicit FakeSimulatorTool(Answer answer = {}) : m_answer(std::move(answer)) {}
    void setAnswer(Answer answer) { m_answer = std::move(answer); }

    QCoro::Task<platform::ToolRun> run(QStringList arguments) override {
        calls.append(arguments);
        if (holding) {
            Hold hold{&m_held};
            co_await hold;
        }
        co_return m_answer ? m_answer(arguments) : platform::ToolRun{};
    }

    // While set, each run waits for release(i), i counting the held runs in the order they came. A
    // test releases every run it held.
    bool holding = false;
    void release(qsizetype index) { m_held.takeAt(index).resume(); }
    qsizetype held() const { return m_held.size(); }

    // A tool that lists `listing` as the booted devices and saves `png` as every screenshot.
    static Answer device(QByteArray listing, QByteArray png) {
        return [listing, png](const QStringList& arguments) {
            platform::ToolRun run;
            if (arguments.value(1) == QLatin1String("list")) {
                run.output = listing;
            } else if (arguments.value(1) == QLatin1String("io")) {
                QFile file(arguments.last());
                if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
                    run.exitStatus = 1;
            }
            return run;
        };
    }

    QList<QStringList> calls;

private:
    struct Hold {
        QList<std::coroutine_handle<>>* held;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { held->append(handle); }
        void await_resume() const noexcept {}
    };
    Answer m_answer;
    QList<std::coroutine_handle<>> m_held;
};
