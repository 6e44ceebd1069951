#pragma once

#include "bridge/Bootstrap.h"
#include "foundation/BridgePort.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <chrono>

// Who answers on a port: nothing, something that is not a bridge of this product, or a bridge (and
// the folder it serves). One verdict for opening a project and for the window's connect check.
struct Probe {
    enum class Kind { Free, Foreign, Bridge };
    Kind kind = Kind::Free;
    QString project; // for Bridge, when the rules read it: its folder, or "another project"

    static Probe free() { return {Kind::Free, {}}; }
    static Probe foreign() { return {Kind::Foreign, {}}; }
    static Probe bridge(QString project) { return {Kind::Bridge, std::move(project)}; }
    bool operator==(const Probe&) const = default;

    // How an answer is read. The two readers differ on purpose: opening a project takes any HTTP
    // status but a redirect (never followed, so never a bridge) and needs the bridge's folder; the
    // window's connect check wants status 200 and reads only the service, so a bridge with an odd
    // "project" still connects.
    struct Rules {
        bool requireOk;
        bool readProject;
    };
    static constexpr Rules forOpening{false, true};
    static constexpr Rules forConnecting{true, false};

    // The verdict on one answer.
    static Probe judge(const Bootstrap::Answer& answer, Rules rules);

    // Asks the port once. Nothing answering (refused, timed out, broken off) is Free; a port whose
    // address does not parse is Foreign, without a request. The question is dropped, as Free, when
    // `owner` (if any) goes away.
    static QCoro::Task<Probe> ask(BridgePort port, std::chrono::milliseconds timeout, Rules rules,
                                  QObject* owner = nullptr);
};
