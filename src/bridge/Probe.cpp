#include "bridge/Probe.h"

namespace {

QString anotherProject() {
    return QStringLiteral("another project");
}

} // namespace

Probe Probe::judge(const Bootstrap::Answer& answer, Rules rules) {
    if (answer.transportFailed)
        return free();
    // Redirects are not followed, and a bridge of this product never sends one.
    const bool redirect = answer.statusCode >= 300 && answer.statusCode <= 399;
    if (redirect || (rules.requireOk && answer.statusCode != 200))
        return foreign();
    const auto record = Bootstrap::decode(answer.body, rules.readProject);
    if (!record || record->service != QLatin1String("tallyrig"))
        return foreign();
    return bridge(rules.readProject ? record->project.value_or(anotherProject()) : QString());
}

QCoro::Task<Probe> Probe::ask(BridgePort port, std::chrono::milliseconds timeout, Rules rules,
                              QObject* owner) {
    if (!port.formsAddress())
        co_return foreign();
    const Bootstrap::Answer answer = co_await Bootstrap::fetch(port, timeout, owner);
    co_return judge(answer, rules);
}
