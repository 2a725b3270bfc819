// The data-aware grid: shows the rows of a dataset's record window through a
// data link, one column per field or per stored column, and moves the
// dataset's current row as the user clicks, presses keys or scrolls.
#pragma once

#include <QFont>
#include <QMetaObject>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/Controls.h"

class TDataSet;
class TDataSource;
class TField;
class QTableView;
class QScrollBar;
class TDBGrid;

// One grid column: the field it shows (by name) and its width in pixels.
// A column without a stored width takes its field's default width.
class TColumn {
 public:
  explicit TColumn(TDBGrid* grid) : m_grid(grid) {}

  const std::string& FieldName() const noexcept { return m_fieldName; }
  void SetFieldName(const std::string& name);
  // The bound field of the open dataset (nullptr when closed or not found).
  TField* Field() const noexcept { return m_field; }

  // Stored width, else the field's default width (DisplayWidth characters of
  // the grid font, at least the title), else the grid's default 64.
  int Width() const;
  void SetWidth(int width);
  bool HasStoredWidth() const noexcept { return m_width >= 0; }
  // The default width the column takes without a stored one.
  int DefaultWidth() const;

  // Title text: the field's display name, else the field name.
  std::string TitleCaption() const;

 private:
  friend class TDBGrid;
  TDBGrid* m_grid;          // not owned; the grid owns its columns
  std::string m_fieldName;
  int m_width = -1;         // -1: none stored
  TField* m_field = nullptr;  // not owned; rebound whenever the layout changes
  // The title's measured width, kept for the title and font it was measured
  // in: the grid asks for the widths on every data change, and shaping the
  // text each time cost more than the rest of a transfer's row.
  mutable std::string m_measuredTitle;
  mutable int m_measuredFont = -1;  // the grid's m_fontGeneration then
  mutable int m_titleWidth = -1;
};

// The stored columns of a grid. Empty means default columns: one per
// visible field of the dataset, in field order, rebuilt on every layout
// change.
class TDBGridColumns {
 public:
  explicit TDBGridColumns(TDBGrid* grid) : m_grid(grid) {}
  TColumn* Add();
  int Count() const noexcept { return static_cast<int>(m_items.size()); }
  TColumn* Items(int index) const { return m_items.at(static_cast<size_t>(index)).get(); }
  void Clear();

 private:
  friend class TDBGrid;
  TDBGrid* m_grid;  // not owned
  std::vector<std::unique_ptr<TColumn>> m_items;
};

// A grid over a data source. Its row count is what fits its height, and that
// is the window it asks of the dataset (so an open fetches just the rows it
// shows). Titles, a row indicator column and cell lines are always shown and
// columns can be resized with the mouse. The grid never edits: ReadOnly is
// carried to the link, and no editor exists.
class TDBGrid : public TControl {
 public:
  explicit TDBGrid(TComponent* AOwner);
  ~TDBGrid() override;

  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* dataSource);
  bool ReadOnly() const noexcept { return m_readOnly; }
  void SetReadOnly(bool value);

  // Stored columns; adding the first one switches off the default columns.
  TDBGridColumns& Columns() noexcept { return m_storedColumns; }
  // The columns shown (stored or default), in order.
  int ColumnCount() const noexcept { return static_cast<int>(m_shown.size()); }
  TColumn* ShownColumn(int index) const { return m_shown.at(static_cast<size_t>(index)); }

  // Data rows that fit the grid's height (at least 1); the data link's
  // buffer count follows it.
  int VisibleRowCount() const;
  // Rows of the dataset's window currently shown (0 when inactive).
  int RowCount() const;
  // A cell's text as the screen shows it (UTF-8); empty past the rows.
  std::string CellText(int row, int column) const;
  // The row the indicator marks (the dataset's current row), -1 if none.
  int CurrentRow() const;
  // The grid's screen follows the dataset lazily: a notification only marks
  // it stale, and it is brought up to date when the message loop next runs,
  // or when anybody reads it (the accessors above, View() and
  // VerticalBar()). Only what the data link needs at once, the columns'
  // fields and the buffer count, follows the dataset immediately.
  void UpdateNow();

  // Pixel sizes the layout uses.
  int RowHeight() const;
  int TitleHeight() const { return RowHeight(); }
  static constexpr int kIndicatorWidth = 12;
  static constexpr int kDefaultColWidth = 64;

  QTableView* View() const;
  QScrollBar* VerticalBar() const;

  // Navigation as the keyboard and scroll bar do it (the dataset moves).
  void MoveBy(int distance);

 protected:
  void BoundsChanged() override;

 private:
  class GridLink;
  class GridModel;
  class GridView;
  friend class TColumn;
  friend class TDBGridColumns;
  friend class GridLink;
  friend class GridModel;
  friend class GridView;

  // Reactions to the link.
  void LinkActiveChanged();
  void LinkDataChanged();
  // Asks for a screen update when the message loop next runs.
  void ScheduleUpdate();
  // Rebuilds the shown columns and rebinds them to the dataset's fields,
  // then the screen.
  void BuildColumns();
  // The first half of it: the columns, their fields and the buffer count.
  void BindColumns();
  // Whether the columns are bound to the fields the dataset lists now (its
  // shape is the one they were bound for). A field freed or renamed without
  // a layout notification makes them stale: cells read nothing from them
  // until the next update binds them again.
  bool ColumnsCurrent() const;
  // The screen's side of the current row and of a cell, as last updated.
  int ShownCurrentRow() const;
  std::string ShownCellText(int row, int column) const;
  // Resets the model and applies the column widths.
  void ResetView();
  // Re-reads the rows (count and texts), the indicator, the current cell and
  // the scroll bar.
  void RefreshRows();
  // Sets the link's buffer count to the rows that fit; true when it changed.
  bool UpdateBufferCount();
  void UpdateRowCount();
  void UpdateScrollBar();
  void ApplyColumnWidths();
  bool HorizontalBarNeeded() const;
  void ScrollBarAction(int action);
  void ScrollBarReleased();
  void CurrentCellChanged(int row);
  int CharWidth() const;
  // Width of "0" and height of a row in the view's font, measured once per font.
  void MeasureFont() const;

  std::unique_ptr<GridLink> m_link;
  TDBGridColumns m_storedColumns;
  std::vector<std::unique_ptr<TColumn>> m_defaultColumns;
  std::vector<TColumn*> m_shown;  // not owned: stored or default columns
  const TDataSet* m_boundDataSet = nullptr;  // m_shown's fields are of this dataset
  uint64_t m_boundShape = 0;                 // at this shape of it
  GridModel* m_model = nullptr;     // owned by the view
  QTableView* m_view = nullptr;  // owned by the grid's widget
  QScrollBar* m_vbar = nullptr;  // owned by the grid's widget
  QMetaObject::Connection m_widgetGone;
  int m_shownRows = 0;
  int m_modelColumns = 0;  // columns the view was told of at its last reset
  bool m_layoutStale = false;  // the view still shows the previous columns
  bool m_rowsStale = false;    // the view still shows previous rows or current row
  bool m_updateQueued = false;
  mutable int m_charWidth = -1;  // -1: not measured in the current font
  mutable int m_rowHeight = -1;
  int m_fontGeneration = 0;  // raised whenever the view's font changes
  bool m_readOnly = false;
  bool m_syncing = false;  // true while the grid itself moves the view's current cell
};
