#include "window/DashboardModule.h"

#include "foundation/Style.h"

#include <QLabel>
#include <QLibrary>
#include <QVBoxLayout>

#include <memory>

namespace {

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

struct Module {
    QLibrary library;
    DashboardModule::CreateFunction create = nullptr;
    bool tried = false;

    void load() {
        if (tried)
            return;
        tried = true;
        if (library.load())
            create = reinterpret_cast<DashboardModule::CreateFunction>(
                library.resolve(DashboardModule::entryPoint));
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
            return new UnavailableDashboard(request, module->library.errorString(), parent);
        DashboardRequest withOpener = request;
        if (!withOpener.openInBrowser)
            withOpener.openInBrowser = openInBrowser;
        return module->create(withOpener, parent);
    };
}

} // namespace DashboardModule
