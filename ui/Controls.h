// Controls: the component side of every widget on a window. A control owns
// its Qt widget, keeps its stored bounds, and is placed by its parent's
// alignment rules (top bands, then bottom, then left, right and client).
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "runtime/Component.h"

// Handler of button clicks and the window's creation event; the sender is the
// control that fired it.
using TNotifyEvent = std::function<void(TComponent* Sender)>;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum class TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Colours as the window system's 0x00BBGGRR values; the two system colours
// the tool names are mapped to the platform palette.
using TColor = int;
inline constexpr TColor clWindowText = static_cast<int>(0x80000008);
inline constexpr TColor clBtnFace = static_cast<int>(0x8000000F);
inline constexpr TColor clWindow = static_cast<int>(0x80000005);

// A font description. Height < 0 is the character height in pixels (the
// stored form), Size the size in points at 96 pixels per inch.
class TFont {
 public:
  static constexpr int kPixelsPerInch = 96;

  const std::string& Name() const noexcept { return m_name; }
  void SetName(const std::string& name) { m_name = name; }
  int Height() const noexcept { return m_height; }
  void SetHeight(int height) { m_height = height; }
  int Size() const;
  void SetSize(int points);
  TColor Color() const noexcept { return m_color; }
  void SetColor(TColor color) { m_color = color; }
  int Style() const noexcept { return m_style; }  // TFontStyle bits
  void SetStyle(int style) { m_style = style; }

  // The Qt font for this description. A family the platform does not have
  // (the classic "MS Sans Serif" on Linux) becomes the platform's general
  // sans serif font at the same pixel height.
  QFont ToQFont() const;

 private:
  std::string m_name = "MS Sans Serif";
  int m_height = -11;
  TColor m_color = clWindowText;
  int m_style = 0;
};

class TWinControl;
class TPopupMenu;

// A control: a component with a widget, bounds relative to its parent's
// client area, an alignment and the common settings. The control owns its
// widget; if Qt destroys the widget first (a parent widget went away), the
// control notices through the QPointer and stops touching it.
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  QWidget* Widget() const noexcept { return m_widget; }

  TWinControl* Parent() const noexcept { return m_parent; }
  // Places the widget inside the parent's client area and realigns the parent.
  void SetParent(TWinControl* parent);

  int Left() const noexcept { return m_left; }
  int Top() const noexcept { return m_top; }
  virtual int Width() const { return m_width; }
  virtual int Height() const { return m_height; }
  void SetLeft(int v) { SetBounds(v, m_top, m_width, m_height); }
  void SetTop(int v) { SetBounds(m_left, v, m_width, m_height); }
  void SetWidth(int v) { SetBounds(m_left, m_top, v, m_height); }
  void SetHeight(int v) { SetBounds(m_left, m_top, m_width, v); }
  virtual void SetBounds(int left, int top, int width, int height);

  TAlign Align() const noexcept { return m_align; }
  void SetAlign(TAlign align);

  // Caption text in the system code page.
  const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);

  bool Enabled() const noexcept { return m_enabled; }
  void SetEnabled(bool enabled);
  bool Visible() const noexcept { return m_visible; }
  void SetVisible(bool visible);

  // Position in the parent's tab sequence (Tab follows these numbers, not
  // the order in which the widgets were made).
  int TabOrder() const noexcept { return m_tabOrder; }
  void SetTabOrder(int order);

  // The control's own font; the widget takes it only when ParentFont is false
  // (by default a control shows its parent's font).
  TFont& Font() noexcept { return m_font; }
  void SetFont(const TFont& font);
  // The widget that takes the keyboard focus for this control.
  QWidget* FocusWidget() const;
  // True when Tab stops at this control.
  bool TabStop() const;
  bool ParentFont() const noexcept { return m_parentFont; }
  void SetParentFont(bool value);

  // The commands a right click on the control lists (their shortcuts work
  // while the control's window is active); null for none.
  TPopupMenu* PopupMenu() const noexcept { return m_popupMenu; }
  void SetPopupMenu(TPopupMenu* menu);

 protected:
  // Derived constructors create their widget and hand it over here.
  void SetWidget(QWidget* widget);
  // Hook for controls that show the caption.
  virtual void CaptionChanged() {}
  // Hook run after the bounds or the parent changed (grids recount rows).
  virtual void BoundsChanged() {}
  // Bounds the alignment computed; the stored bounds follow them.
  void ApplyBounds(int left, int top, int width, int height);

 private:
  friend class TWinControl;
  void UpdateWidgetGeometry();

  QPointer<QWidget> m_widget;  // owned; may be destroyed by a Qt parent first
  TWinControl* m_parent = nullptr;  // not owned; cleared when the parent goes
  int m_left = 0, m_top = 0, m_width = 0, m_height = 0;
  TAlign m_align = TAlign::alNone;
  std::string m_caption;
  bool m_enabled = true;
  bool m_visible = true;
  int m_tabOrder = -1;
  TFont m_font;
  bool m_parentFont = true;
  TPopupMenu* m_popupMenu = nullptr;  // not owned; the menu clears it when it goes
};

// A control that holds other controls and aligns them in its client area.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  int ControlCount() const noexcept { return static_cast<int>(m_controls.size()); }
  TControl* Controls(int index) const { return m_controls.at(static_cast<size_t>(index)); }

  // Client area size; the widget's inner size for most controls.
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }

  // Positions the aligned children: all alTop controls stacked from the top
  // edge in creation order, then alBottom from the bottom edge, then alLeft
  // from the left and alRight from the right across the band that is left,
  // then alClient filling the rest. Each keeps its own height (top, bottom)
  // or width (left, right).
  void AlignControls();
  // The controls Tab visits inside this one, in order: children sorted by
  // TabOrder (stable), containers replaced by their own sequence; only
  // visible, enabled controls that take the keyboard focus.
  std::vector<TControl*> TabSequence() const;
  // The control after (or before) `current` in TabSequence, wrapping
  // around; the first (last) one when current is not in it.
  TControl* FindNextControl(const TControl* current, bool forward) const;

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);

  std::vector<TControl*> m_controls;  // not owned; in insertion order
  bool m_aligning = false;
};

// Runs an event handler so that no exception crosses into Qt: anything that
// leaves it goes to the application's error box.
void SafeCall(const std::function<void()>& handler);
