#include "monitor/app/qt/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "monitor/app/qt/seltra_view.h"
#include "monitor/app/qt/settings_dlg.h"
#include "monitor/resources/seltra_resources.h"
#include "monitor/stats/monitor_messages.h"

namespace {

QString MenuText(const CommandInfo& info) {
    // The accelerator after the tab is the action's shortcut, shown by the toolkit itself.
    QString text = QString::fromLatin1(info.menuText);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? text : text.left(tab);
}

QKeySequence Shortcut(const CommandInfo& info) {
    const QString text = QString::fromLatin1(info.menuText);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? QKeySequence() : QKeySequence(text.mid(tab + 1));
}

}  // namespace

CMainFrame::CMainFrame(platform::PromptService& prompts, DeviceControl& device,
                       const DevicePaths* paths)
    : prompts_(prompts) {
    setWindowTitle(QStringLiteral("Untitled - Seltra"));
    view_ = new CSeltraView(settings_, prompts_, this, device, paths, this);
    setCentralWidget(view_);
    connect(view_, &CSeltraView::CaptionChanged, this, &QMainWindow::setWindowTitle);
    BuildMenus();
    BuildToolbar();
    BuildStatusBar();
    ReadSettings(settings_);
    statusBar()->setVisible(settings_.statusBar != 0);
    toolbar_->setVisible(settings_.toolbar != 0);
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::BuildMenus() {
    for (const MenuInfo& menuInfo : MainMenu()) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(menuInfo.title));
        for (const int id : menuInfo.items) {
            if (id == kSeparator) {
                menu->addSeparator();
                continue;
            }
            const CommandInfo& info = *FindCommand(id);
            QAction* action = nullptr;
            if (id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR) {
                // The framework's bar toggles, filled in once the bars exist.
                action = new QAction(MenuText(info), this);
                action->setCheckable(true);
            } else {
                action = new QAction(MenuText(info), this);
                connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
            }
            action->setShortcut(Shortcut(info));
            action->setStatusTip(QString::fromLatin1(info.prompt));
            action->setData(id);
            action->setObjectName(QStringLiteral("command_%1").arg(id));
            menu->addAction(action);
            actions_[id] = action;
        }
    }
}

void CMainFrame::BuildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("Toolbar"));
    toolbar_->setObjectName(QStringLiteral("toolbar_%1").arg(IDR_TOOLBAR));
    const std::map<int, QStyle::StandardPixmap> icons = {
        {ID_FILE_NEW, QStyle::SP_FileIcon},
        {ID_FILE_OPEN, QStyle::SP_DialogOpenButton},
        {ID_FILE_SAVE, QStyle::SP_DialogSaveButton},
        {ID_FILE_PRINT, QStyle::SP_ComputerIcon},
        {ID_TOOLS_ADD_PORTS, QStyle::SP_FileDialogNewFolder},
        {ID_TOOLS_REMOVE_PORTS, QStyle::SP_TrashIcon},
        {ID_TOOLS_ADD_COLUMNS, QStyle::SP_ArrowRight},
        {ID_TOOLS_REMOVE_COLUMNS, QStyle::SP_ArrowLeft},
        {ID_APP_ABOUT, QStyle::SP_MessageBoxInformation}};
    for (const int id : MainToolbar()) {
        if (id == kSeparator) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action = actions_.at(id);
        action->setIcon(style()->standardIcon(icons.at(id)));
        action->setToolTip(MenuText(*FindCommand(id)).remove(QLatin1Char('&')));
        toolbar_->addAction(action);
    }
    QAction* toggle = actions_.at(ID_VIEW_TOOLBAR);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, toolbar_, &QToolBar::setVisible);
    connect(toolbar_, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    const std::pair<int, const char*> panes[] = {{ID_INDICATOR_POLLING, kPollingOffText},
                                                 {ID_INDICATOR_CAPS, "CAP"},
                                                 {ID_INDICATOR_NUM, "NUM"},
                                                 {ID_INDICATOR_SCRL, "SCRL"}};
    for (const auto& [id, text] : panes) {
        auto* label = new QLabel(QString::fromLatin1(text), bar);
        label->setObjectName(QStringLiteral("pane_%1").arg(id));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The toolkit does not report the lock keys' states: their panes stay greyed.
        label->setEnabled(id == ID_INDICATOR_POLLING);
        bar->addPermanentWidget(label);
        panes_[id] = label;
    }
    QAction* toggle = actions_.at(ID_VIEW_STATUS_BAR);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, bar, &QStatusBar::setVisible);
}

void CMainFrame::UpdateCommandStates() {
    for (const auto& [id, action] : actions_) {
        action->setEnabled(view_->CommandEnabled(id));
    }
}

QAction* CMainFrame::Action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QString CMainFrame::PaneText(int id) const {
    const auto it = panes_.find(id);
    return it == panes_.end() ? QString() : it->second->text();
}

void CMainFrame::OnCommand(int id) {
    switch (id) {
        case ID_TOOLS_SETTINGS:
            OnSettings();
            return;
        case ID_APP_EXIT_SELTRA:
            OnExit();
            return;
        case ID_APP_ABOUT:
            OnAbout();
            return;
        case ID_FILE_PRINT:
            OnPrint();
            return;
        case ID_FILE_PRINT_PREVIEW:
            OnPrintPreview();
            return;
        case ID_FILE_PRINT_SETUP:
            OnPrintSetup();
            return;
        default:
            if (view_->CommandEnabled(id)) {
                view_->OnCommand(id);
            }
            return;
    }
}

void CMainFrame::OnSettings() {
    CSettingsDlg dialog(settings_, prompts_, this);
    if (dialog.exec() == QDialog::Accepted) {
        view_->ApplySettings();
    }
}

void CMainFrame::OnExit() {
    if (!view_->ExitSteps()) {
        return;
    }
    exiting_ = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (exiting_) {
        event->accept();
        return;
    }
    // Closing the window writes the settings first, then runs the exit steps.
    if (!WriteSettings(settings_)) {
        prompts_.MessageBox(kRegistryErrorText, kRegistryErrorCaption, MB_OK | MB_ICONSTOP);
    }
    if (view_->ExitSteps()) {
        exiting_ = true;
        event->accept();
    } else {
        event->ignore();
    }
}

bool CMainFrame::event(QEvent* event) {
    if (static_cast<UINT>(event->type()) == WM_POLLING_STATE) {
        const auto* state = static_cast<MonitorEvent*>(event);
        panes_.at(ID_INDICATOR_POLLING)
            ->setText(QString::fromLatin1(state->WParam() != 0 ? kPollingOnText : kPollingOffText));
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::OnAbout() {
    QDialog about(this);
    about.setWindowTitle(QString::fromLatin1(kAboutTitle));
    auto* layout = new QVBoxLayout(&about);
    auto* icon = new QLabel(&about);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    layout->addWidget(icon);
    layout->addWidget(new QLabel(QString::fromLatin1(kAboutProduct), &about));
    layout->addWidget(new QLabel(QString::fromLatin1(kAboutVersion), &about));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    about.exec();
}

void CMainFrame::OnPrintSetup() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>();
    }
    QPageSetupDialog dialog(printer_.get(), this);
    dialog.exec();
}

void CMainFrame::OnPrint() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>();
    }
    QPrintDialog dialog(printer_.get(), this);
    if (dialog.exec() == QDialog::Accepted) {
        view_->Print(*printer_);
    }
}

void CMainFrame::OnPrintPreview() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>();
    }
    QPrintPreviewDialog preview(printer_.get(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { view_->Print(*printer); });
    preview.exec();
}
