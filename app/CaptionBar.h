// CCaptionBar: the message bar under the ribbon (window id 221) that tells the operator that
// problems were logged: an "Open Log File..." button, the information icon, the text and the
// bar's own close button. Hidden until the first problem report.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

class CCaptionBar : public QFrame {
    Q_OBJECT
public:
    explicit CCaptionBar(QWidget* parent);

    QPushButton* OpenLogButton() const { return m_openLog; }
    QToolButton* CloseButton() const { return m_close; }
    QString Text() const { return m_text->text(); }
    // What the bar says (the problem notice, or what an unattended run is doing).
    void SetText(const QString& text) { m_text->setText(text); }
    void ApplyLook(const QColor& background, const QColor& border);

signals:
    void openLogFile();

private:
    QPushButton* m_openLog;
    QLabel* m_icon;
    QLabel* m_text;
    QToolButton* m_close;
};
