// The program entry: the application object, the dashboard window with the core started inside
// its creation, the three dialogs, and the message loop.
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>

#include "config/config_folder.h"
#include "config/kestrova_ini.h"
#include "core/app_service.h"
#include "core_info.h"
#include "port/routing_serial_line.h"
#include "port/udev_port_catalogue.h"
#include "ui/qt/about_box.h"
#include "ui/qt/firmware_update_dialog.h"
#include "ui/qt/form_dashboard.h"
#include "ui/qt/prompts.h"
#include "ui/qt/version_error_dialog.h"

namespace {

// The framework's display of an error that ends the program.
void ShowFatalError(const char* message) {
    QMessageBox box(QMessageBox::Critical,
                    QString::fromUtf8(kestrova::ApplicationTitle.data(),
                                      static_cast<qsizetype>(kestrova::ApplicationTitle.size())),
                    QString::fromUtf8(message), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

int Run() {
    // The core keeps its files beside the executable path it is given: the real one, or one
    // of the same name in the user's configuration folder when the program is installed.
    const std::filesystem::path executable = kestrova::ExecutablePath();
    const kestrova::ConfigFolder config = kestrova::ChooseConfigFolder(
        executable.parent_path(), kestrova::ProcessEnvironment(), kestrova::FolderWritable);
    kestrova::CopyMissingDefaults(config);

    kestrova::RoutingSerialLine line;
    kestrova::UdevPortCatalogue catalogue;
    kestrova::TFormDashboard dashboard;
    kestrova::AppService core(dashboard.Display(), dashboard, line, catalogue,
                              config.folder / executable.filename());
    core.SetProblemSink([](std::string_view problem) {
        std::fprintf(stderr, "Kestrova Interface: %.*s\n", static_cast<int>(problem.size()),
                     problem.data());
    });
    kestrova::CoreInfo info(core, config.dialogFolder);
    dashboard.Create(core, info);  // FormCreate: CoreStart, then the timers
    dashboard.SetMonitor(core);    // the Link Statistics and Trend windows

    kestrova::TAboutBox_KestrovaInterface about(&dashboard);
    kestrova::TFormFirmwareUpdateDialog firmware(&dashboard);
    kestrova::TFormVersionErrorDlg versionError(info, &dashboard);
    dashboard.SetDialogs(&about, &firmware, &versionError);

    dashboard.ShowWindow();
    QApplication::exec();
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrova Interface"));
    try {
        return Run();
    } catch (const std::exception& error) {
        ShowFatalError(error.what());
    } catch (...) {
        ShowFatalError("");
    }
    return 0;
}
