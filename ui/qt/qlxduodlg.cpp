// SPDX-License-Identifier: MIT
#include "ui/qt/qlxduodlg.h"

#include <QDir>
#include <QIconEngine>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <chrono>
#include <future>
#include <iterator>
#include <map>
#include <memory>

#include "serial/processend.h"

#include "ui/qlxduodlgrules.h"
#include "ui/qt/messagebox.h"

namespace {

// How long a process told to end waits for the window to return the unit to normal mode: for the
// operation under way on the window's thread (a write's three exchanges at most, 200 ms each),
// then for "E", with room for a busy machine; a stalled write is not waited out.
constexpr auto kProcessEndWait = std::chrono::seconds(2);

// Icon 128 in every size the resources carry, each read when it is asked for and not kept: the
// window system takes the pixels of every size once, as the window is made.
class CResourceIcon : public QIconEngine {
public:
    CResourceIcon() {
        const QDir folder(QStringLiteral(":/icons/128"));
        for (const QString& file : folder.entryList(QDir::Files)) {
            const QString path = folder.filePath(file);
            QImageReader reader(path, "png");
            reader.setAutoDetectImageFormat(false);
            const QSize size = reader.size();
            if (size.isValid()) m_files.emplace(size.width(), std::make_pair(size, path));
        }
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const auto& [width, file] : m_files) sizes << file.first;
        return sizes;
    }

    // The smallest size at least as wide as asked for (the largest when none is), scaled to fit.
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        if (m_files.empty()) return {};
        auto found = m_files.lower_bound(size.width());
        if (found == m_files.end()) found = std::prev(found);
        QImageReader reader(found->second.second, "png");
        reader.setAutoDetectImageFormat(false);
        QImage image = reader.read();
        if (!image.isNull() && image.size() != size)
            image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return QPixmap::fromImage(image);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QIconEngine* clone() const override { return new CResourceIcon(*this); }

private:
    std::map<int, std::pair<QSize, QString>> m_files;  // by width
};

QIcon LoadAppIcon() {
    return QIcon(new CResourceIcon);
}

}  // namespace

CQlxduoDlg::CQlxduoDlg(QWidget* parent)
    : CDialogKn2(IDD_QLXDUO_DIALOG, parent, qlxduodlg::kAppSubFolder),
      CQlxduoWindow(static_cast<const CSettingsLocation&>(*this)),
      m_icon(LoadAppIcon()) {
    AttachControls([this](int id, QWidget& control) { AttachControl(id, control); });
    connect(&m_connect, &QPushButton::clicked, this, [this] { Connect(); });
    connect(&m_write, &QPushButton::clicked, this, [this] { WriteParameters(); });
    m_com.OnOpening([this] { RefreshComList(); });
    platform::SetWorkBeforeRelease([this] { LeaveBeforeProcessEnd(); });
}

CQlxduoDlg::~CQlxduoDlg() {
    platform::SetWorkBeforeRelease({});
}

void CQlxduoDlg::WatchPorts(std::intptr_t eventSource) {
    if (eventSource < 0) return;
    m_portNews = std::make_unique<QSocketNotifier>(static_cast<qintptr>(eventSource), QSocketNotifier::Read);
    connect(m_portNews.get(), &QSocketNotifier::activated, this, [this] { TakePortNews(); });
}

void CQlxduoDlg::ShowComDevices() {
    m_com.ShowDevices();
}

// The window's thread may be inside an exchange or a modal question: the work waits in its queue
// for the exchange to end (a question's own loop takes it), so that the port never carries two
// exchanges at once. Bounded, so that a window that never gets to it cannot keep the process alive.
// A window that is not connected has nothing to leave (a connect under way is cut short).
void CQlxduoDlg::LeaveBeforeProcessEnd() {
    if (!IsConnected()) return;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> left = done->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, done] {
            ProcessEndRequest();
            done->set_value();
        },
        Qt::QueuedConnection);
    left.wait_for(kProcessEndWait);
}

bool CQlxduoDlg::OnInitDialog() {
    // A settings folder that cannot be made was reported already; the window works without it.
    CDialogKn2::OnInitDialog();
    setWindowIcon(m_icon);
    setWindowTitle(QString::fromStdString(qlxduodlg::CaptionWithVersion(windowTitle().toUtf8().constData())));
    StartUp();
    return true;
}

void CQlxduoDlg::OnClose() {
    CloseRequest();
}

void CQlxduoDlg::ShowStatusDetails(const std::string& details) {
    m_status.setToolTip(QString::fromStdString(details));
}

// Nothing before the window exists: its controls are made with it.
void CQlxduoDlg::EnableItem(int id, bool enable) {
    if (QWidget* item = GetDlgItem(id)) item->setEnabled(enable);
}

void CQlxduoDlg::FocusConnectButton() {
    m_connect.setFocus();
}

bool CQlxduoDlg::AskOkCancel(const std::string& question) {
    return AppMessageBox(this, QString::fromStdString(question), QMessageBox::Ok | QMessageBox::Cancel,
                         QMessageBox::Warning) == QMessageBox::Ok;
}

void CQlxduoDlg::CloseWindow() {
    reject();
}
