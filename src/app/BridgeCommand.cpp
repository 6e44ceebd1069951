#include "app/BridgeCommand.h"

#include "bridge/BridgeRuntime.h"
#include "foundation/Bundle.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unistd.h>
#include <vector>

#ifdef Q_OS_MACOS
#include <mach-o/dyld.h>
#endif

namespace BridgeCommand {

namespace {

QString executablePath(const char* argv0) {
#ifdef Q_OS_MACOS
    std::array<char, 4096> buffer{};
    uint32_t size = buffer.size();
    if (_NSGetExecutablePath(buffer.data(), &size) == 0)
        return QFile::decodeName(buffer.data());
#elif defined(Q_OS_LINUX)
    Q_UNUSED(argv0);
    return QStringLiteral("/proc/self/exe");
#endif
    return QFile::decodeName(argv0);
}

} // namespace

bool isBridgeCommand(int argc, char* argv[]) {
    if (argc < 2)
        return false;
    static constexpr std::array<std::string_view, 8> commands{"init", "start",  "stop",      "doctor",
                                                              "mcp",  "--help", "--version", "help"};
    const std::string_view first(argv[1]);
    for (const std::string_view command : commands) {
        if (first == command)
            return true;
    }
    return false;
}

int exec(int argc, char* argv[]) {
    const auto bundle = Bundle::locationForExecutable(executablePath(argv[0]));
    const auto resources =
        bundle ? std::optional<QString>(*bundle + QStringLiteral("/Contents/Resources")) : std::nullopt;
    const auto runtime = BridgeRuntime::in(bundle, resources);
    if (!runtime) {
        std::fprintf(stderr,
                     "tallyrig: this build of Tallyrig carries no bridge runtime, so \"%s\" cannot run.\n",
                     argv[1]);
        return 1;
    }
    const QByteArray node = QFile::encodeName(runtime->node);
    const QByteArray cli = QFile::encodeName(runtime->cli);
    std::vector<char*> arguments{const_cast<char*>(node.constData()), const_cast<char*>(cli.constData())};
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    ::execv(node.constData(), arguments.data());
    std::fprintf(stderr, "tallyrig: cannot run %s: %s\n", node.constData(), std::strerror(errno));
    return 1;
}

} // namespace BridgeCommand
