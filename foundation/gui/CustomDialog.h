// CCustomDialog: the base of every dialog and panel with the system's own look — a painted
// background colour, an optional framed inner area above the OK/Cancel strip, and custom
// text/background colours for a chosen set of controls. Controls are reached by their
// template ids, as the rest of the program names them.
#pragma once

#include <QBrush>
#include <QColor>
#include <QDialog>
#include <QRect>
#include <map>
#include <optional>
#include <span>
#include <unordered_map>

#include "DialogTemplate.h"
#include "platform/WinTypes.h"

struct ControlColors {
    QColor text;
    QColor background;
};

class CCustomDialog : public QDialog {
    Q_OBJECT
public:
    // Modal dialogs of the library pass no parent; panels pass the window they live in.
    CCustomDialog(int templateId, QWidget* parent);
    ~CCustomDialog() override;

    int TemplateId() const { return m_templateId; }

    // Builds the controls and runs the initial-dialog step once; later calls do nothing.
    // Modeless panels call it after construction; DoModal and the first show call it.
    bool Create();
    bool IsCreated() const { return m_created; }
    // Runs the dialog modally; answers IDOK or IDCANCEL (or what EndDialog was given).
    int DoModal();
    void EndDialog(int result);

    void SetBackgroundColor(const QColor& color);
    void SetControlBackgroundColor(const QColor& color);
    void SetFrameFillColor(const QColor& color);
    QColor BackgroundColor() const { return m_crBackground; }
    QColor ControlBackgroundColor() const { return m_crControlBackground; }
    QColor FrameFillColor() const { return m_crFrameFill; }

    void AddColoredControl(int id);
    bool IsColoredControl(int id) const { return m_mapColoredControls.count(id) != 0; }

    QWidget* GetDlgItem(int id) const;
    template <class T>
    T* Item(int id) const {
        return qobject_cast<T*>(GetDlgItem(id));
    }
    // Enables or disables a control. A control disabled while it holds the keyboard focus
    // hands the focus to the dialog itself rather than to the next control in the tab order,
    // which could be one that moves the instrument (a Space press would then press it).
    void EnableItem(int id, bool enable);
    // The framed area as painted last (client coordinates); empty before the first paint.
    QRect FrameRect() const { return m_rcFrame; }
    // The framed area for a client area of the given size (what the next paint will use).
    QRect FrameRectFor(const QSize& client) const;
    // The colours a control is drawn with after the control-colour request, if custom.
    std::optional<ControlColors> ColorsOf(int id);

    // The idle-update message, sent on every idle pass to every dialog below the main
    // frame: panels recompute their enabling and indicators here.
    virtual void OnIdleUpdateCmdUI() {}

protected:
    // Builds the template's controls; called once by Create before OnInitDialog.
    virtual void BuildControls() {}
    // The initial-dialog step; answers true (default focus).
    virtual bool OnInitDialog();
    // OK (id 1) and Cancel (id 2, Escape, the close box).
    virtual void OnOK();
    virtual void OnCancel();
    // Any other push button of the template.
    virtual void OnCommand(int id);
    // The control-colour request: custom colours for the control, or nothing for the
    // platform's defaults. The base answers for the controls in the colouring set.
    virtual std::optional<ControlColors> OnCtlColor(int id, QWidget* control);
    // Asks the control-colour request again for every control (after a colour change).
    void ApplyControlColors();
    // The settings boxes' look: grey background, white controls and a white framed area
    // with 10 px margins, 45 px left below it for the OK/Cancel strip. Call from the
    // constructor.
    void UseFramedBoxLook();

    // Creates the controls of a template: fixed geometry converted from dialog units with
    // this dialog's font; push buttons are wired to OnOK / OnCancel / OnCommand.
    void CreateFromTemplate(const DlgTemplate& tmpl, std::span<const DlgItemTemplate> items);
    void RegisterItem(int id, QWidget* control);
    const CDialogUnits& Units() const { return m_units; }

    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

public:
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

protected:
    // Colours and their brushes change together (SetBackgroundColor etc.).
    QColor m_crBackground{240, 240, 240};
    QColor m_crFrameFill{255, 255, 255};
    QColor m_crFrameBorder{105, 105, 105};
    QColor m_crControlBackground{240, 240, 240};
    QColor m_crControlText{0, 0, 0};
    QBrush m_brBackground;
    QBrush m_brControlBackground;
    QBrush m_brFrameFill;
    bool m_bDrawFrame = false;
    QRect m_rcFrame;
    int m_nMarginLeft = 10;  // pixels
    int m_nMarginRight = 10;
    int m_nMarginTop = 10;
    int m_nMarginBottom = 10;
    std::unordered_map<int, unsigned char> m_mapColoredControls;

private:
    int m_templateId;
    bool m_created = false;
    CDialogUnits m_units;
    std::map<int, QWidget*> m_items;
};
