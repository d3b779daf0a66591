// SPDX-License-Identifier: MIT
// A stand-in user for tests of the real program, loaded into it as a Qt generic plugin
// (QT_PLUGIN_PATH=<build>/testplugins, QT_QPA_GENERIC_PLUGINS=qlxduotestuser:<trigger file>).
// Once the trigger file exists it closes the program's window as the close box does and answers
// OK to the question that follows, so a test sees the program's own close sequence run to its end
// on the offscreen platform, where no one can click. Every pass of its poll, which runs only while
// the program's event loop does, it also makes the file <trigger file>.idle: a test that removes
// that file and waits for it again knows that whatever the program did at once (a connect) is over.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QTimer>

namespace {

class CloseWhenTold : public QObject {
public:
    explicit CloseWhenTold(const QString& trigger) : m_trigger(trigger) {
        connect(&m_poll, &QTimer::timeout, this, &CloseWhenTold::Poll);
        m_poll.start(50);
    }

private:
    // The close runs after this returns: a timer does not fire again while its handler runs, and
    // the next poll, inside the close question's own event loop, answers that question.
    void Poll() {
        QFile(m_trigger + ".idle").open(QIODevice::WriteOnly);
        if (!QFile::exists(m_trigger)) return;
        QWidget* top = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(top)) {
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
        } else if (top != nullptr && !m_closed) {
            m_closed = true;
            QTimer::singleShot(0, top, &QWidget::close);
        }
    }

    QString m_trigger;
    QTimer m_poll;
    bool m_closed = false;
};

}  // namespace

class TestUserPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "testuser.json")

public:
    QObject* create(const QString& key, const QString& parameters) override {
        return key == QLatin1String("qlxduotestuser") ? new CloseWhenTold(parameters) : nullptr;
    }
};

#include "testuserplugin.moc"
