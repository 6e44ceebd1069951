#include "platform/Updater.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace platform {

namespace {

// Builds for this platform have no update feed yet; say so rather than claim "up to date".
class NoFeedUpdater final : public Updater {
public:
    void start() override {}

    void checkForUpdates(QWidget* window) override {
        auto* box =
            new QMessageBox(QMessageBox::Information, QStringLiteral("Check for Updates"),
                            QStringLiteral("This build of Tallyrig has no update feed, so it can’t check "
                                           "for updates. Get newer versions where you got this one."),
                            QMessageBox::Ok, window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
        box->open();
    }
};

} // namespace

std::unique_ptr<Updater> createUpdater() {
    return std::make_unique<NoFeedUpdater>();
}

} // namespace platform
