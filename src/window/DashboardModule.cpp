#include "window/DashboardModule.h"

#include "foundation/Style.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibrary>
#include <QOpenGLContext>
#include <QVBoxLayout>

#include <memory>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

QT_BEGIN_NAMESPACE
// Exported by QtGui for this purpose, declared only in its private headers.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace {

// The web engine shares its textures with the window through the application's global OpenGL
// context. Apps that load it at start ask Qt for that context before the application exists
// (Qt::AA_ShareOpenGLContexts), which costs every launch an OpenGL driver: measured here, 57 MiB
// resident and a start 1.7 times the minimal Qt app's, for windows that may never show a
// dashboard. So this app makes the context just before the web engine loads, as the web engine
// itself does when it finds none; Qt then warns once that the attribute came late.
QOpenGLContext* sharedContext = nullptr;

void prepareSharedContext() {
    if (QOpenGLContext::globalShareContext())
        return;
    sharedContext = new QOpenGLContext;
    sharedContext->setFormat(QSurfaceFormat::defaultFormat());
    sharedContext->create();
    qt_gl_set_global_share_context(sharedContext);
    // Gone while the application still has its windowing system.
    qAddPostRoutine([] {
        qt_gl_set_global_share_context(nullptr);
        delete std::exchange(sharedContext, nullptr);
    });
    // As the web engine does itself: the window's contexts must share with the global one.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// Stands where the web view would, telling why there is none.
class UnavailableDashboard final : public DashboardView {
public:
    UnavailableDashboard(const DashboardRequest& request, const QString& reason, QWidget* parent)
        : DashboardView(parent), m_baseAddress(request.baseAddress) {
        auto* layout = new QVBoxLayout(this);
        auto* message = new QLabel(QStringLiteral("The dashboard can\u2019t be shown here: ") + reason +
                                       QStringLiteral("\nOpen ") + request.baseAddress +
                                       QStringLiteral(" in your browser."),
                                   this);
        message->setFont(Style::font(Style::Text::Callout));
        message->setTextFormat(Qt::PlainText);
        message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        message->setWordWrap(true);
        message->setAlignment(Qt::AlignCenter);
        layout->addWidget(message);
    }

    QString baseAddress() const override { return m_baseAddress; }
    void setInputs(const QString&, const std::optional<QString>&) override {}

private:
    QString m_baseAddress;
};

// Why the web engine must not be loaded here, or nothing. Its sandbox refuses the root user, and the
// web engine then ends the whole process instead of failing.
QString refusal() {
#ifdef Q_OS_LINUX
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") &&
        !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--no-sandbox")) &&
        !QCoreApplication::arguments().contains(QLatin1String("--no-sandbox")))
        return QStringLiteral("its web engine doesn\u2019t run as the root user.");
#endif
    return {};
}

struct Module {
    QLibrary library;
    DashboardModule::CreateFunction create = nullptr;
    QString problem;

    void load() {
        if (create || !problem.isEmpty())
            return;
        problem = refusal();
        if (!problem.isEmpty())
            return;
        prepareSharedContext();
        if (library.load())
            create = reinterpret_cast<DashboardModule::CreateFunction>(
                library.resolve(DashboardModule::entryPoint));
        if (!create)
            problem = library.errorString();
    }
};

} // namespace

namespace DashboardModule {

QString pathIn(const QString& bundleFolder) {
    return bundleFolder + QStringLiteral("/Contents/PlugIns/tallyrig_dashboard");
}

DashboardFactory factory(const QString& path, OpenInBrowser openInBrowser) {
    auto module = std::make_shared<Module>();
    module->library.setFileName(path);
    return [module, openInBrowser](const DashboardRequest& request, QWidget* parent) -> DashboardView* {
        module->load();
        if (!module->create)
            return new UnavailableDashboard(request, module->problem, parent);
        DashboardRequest withOpener = request;
        if (!withOpener.openInBrowser)
            withOpener.openInBrowser = openInBrowser;
        return module->create(withOpener, parent);
    };
}

} // namespace DashboardModule
