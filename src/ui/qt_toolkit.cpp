#include "ui/qt_toolkit.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>
#include <QtGlobal>

#include "shell/app_identity.h"
#include "ui/desktop_settings.h"
#include "ui/view_pace.h"

namespace kps::ui {

namespace {

QString ToQ(const std::string& s) {
  return QString::fromStdString(s);
}

// Message boxes and reports belong over the window the user is working in.
QWidget* DialogParent() {
  return QApplication::activeWindow();
}

}  // namespace

QtToolkit::QtToolkit() {
  clock_.start();
}

QtToolkit::~QtToolkit() {
  for (const QPointer<QDialog>& report : reports_) delete report.data();
}

void QtToolkit::ProcessEvents() {
  QCoreApplication::processEvents();
}

void QtToolkit::PaceViews(bool paced) {
  if (paced) {
    ViewPace::instance().Begin();
  } else {
    ViewPace::instance().End();
  }
}

MessageResult QtToolkit::ShowMessage(const std::string& text, MessageButtons buttons) {
  // The message is read against the windows as they are now.
  ViewPace::instance().Flush();
  QMessageBox box(DialogParent());
  box.setObjectName("messageBox");
  box.setWindowTitle(QString::fromUtf8(kAppTitle));
  box.setText(ToQ(text));
  if (buttons == MessageButtons::OkCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
  }
  // Closing an OK/Cancel box with its close box counts as Cancel, as Escape does.
  return box.exec() == QMessageBox::Ok ? MessageResult::Ok : MessageResult::Cancel;
}

void QtToolkit::Beep() {
  QApplication::beep();
}

void QtToolkit::Sleep(int milliseconds) {
  if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

uint32_t QtToolkit::Millis() {
  return static_cast<uint32_t>(clock_.elapsed());
}

void QtToolkit::Quit() {
  quitRequested_ = true;
  // exit(), not quit(): Qt 6's quit() first sends every window a close event,
  // and our windows answer a close by closing the board session and ending the
  // program a second time. exit() only leaves the event loops, and means
  // nothing outside an event loop (it would even make the next modal loop
  // return at once), where quitRequested() is the record of the request.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void QtToolkit::ShowReport(const std::string& title, const std::string& text) {
  ViewPace::instance().Flush();
  auto* dialog = new QDialog(DialogParent());
  dialog->setObjectName("reportDialog");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(ToQ(title));

  auto* view = new QPlainTextEdit(dialog);
  view->setObjectName("reportText");
  view->setReadOnly(true);
  view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setPlainText(ToQ(text));

  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* copy = buttons->addButton(QObject::tr("&Copy"), QDialogButtonBox::ActionRole);
  copy->setObjectName("reportCopy");
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  close->setObjectName("reportClose");
  // Copy takes the whole report, so a user need not select it first.
  QObject::connect(copy, &QPushButton::clicked, view, [view] {
    view->selectAll();
    view->copy();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);

  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(view);
  layout->addWidget(buttons);
  dialog->resize(640, 420);

  reports_.removeAll(QPointer<QDialog>());
  reports_.append(dialog);
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

QList<QDialog*> QtToolkit::openReports() const {
  QList<QDialog*> open;
  for (const QPointer<QDialog>& report : reports_) {
    if (report) open.append(report.data());
  }
  return open;
}

PlatformInfo QtToolkit::Platform() const {
  return {std::string("Qt ") + qVersion(), QSysInfo::prettyProductName().toStdString(),
          (QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion() +
           QLatin1Char(' ') + QSysInfo::currentCpuArchitecture())
              .toStdString()};
}

LocalTime QtToolkit::Now() {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

std::string QtToolkit::OpenFileDialog(const FileDialogRequest& request) {
  ViewPace::instance().Flush();
  // "Description|patterns|Description|patterns" becomes Qt's
  // "Description (patterns);;...". The dialog shows each description as the
  // program writes it ("All Files (*.*)"), while Qt matches by the patterns
  // in the last parentheses: there "*.*" is "*", since on this system a name
  // needs no dot.
  const QStringList parts = ToQ(request.filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns =
        parts[i + 1].split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
    const QString shown =
        parts[i].contains(QLatin1Char('('))
            ? parts[i]
            : parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    patterns.replaceInStrings(QRegularExpression(QStringLiteral("^\\*\\.\\*$")),
                              QStringLiteral("*"));
    filters.append(shown + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')'));
  }
  QFileDialog dialog(DialogParent(), ToQ(request.title), QString(), filters.join(";;"));
  dialog.setObjectName("fileDialog");
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (request.save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);  // asks before replacing a file
  } else {
    dialog.setFileMode(QFileDialog::AnyFile);  // the measurement file may not exist yet
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
  }
  QString suffix = ToQ(request.defaultExtension);
  suffix.remove(QStringLiteral("*."));
  dialog.setDefaultSuffix(suffix);
  // The folder this dialog was last left in, unless the proposal names one.
  const QString title = ToQ(request.title);
  const QString proposal = ToQ(request.fileName);
  const QString folder = settings_ != nullptr ? settings_->lastFolder(title) : QString();
  if (!folder.isEmpty() && !QFileInfo(proposal).isAbsolute()) dialog.setDirectory(folder);
  if (!proposal.isEmpty()) dialog.selectFile(proposal);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString chosen = dialog.selectedFiles().first();
  if (settings_ != nullptr) settings_->setLastFolder(title, QFileInfo(chosen).absolutePath());
  return chosen.toStdString();
}

}  // namespace kps::ui
