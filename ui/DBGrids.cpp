// The data-aware grid over Qt's table view. The model exposes the rows of
// the link's record window (never more), so what the grid shows is exactly
// what the dataset fetched for it; moving beyond the window moves the
// dataset, which shifts the window and notifies the grid.
#include "ui/DBGrids.h"

#include <QAbstractTableModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <functional>

#include "dataset/DataSource.h"
#include "runtime/CodePage.h"

// --- link -------------------------------------------------------------------

class TDBGrid::GridLink : public TDataLink {
 public:
  explicit GridLink(TDBGrid* grid) : m_grid(grid) { SetVisualControl(true); }

 protected:
  void ActiveChanged() override { m_grid->LinkActiveChanged(); }
  void LayoutChanged() override { m_grid->LinkActiveChanged(); }
  void DataSetChanged() override { m_grid->LinkDataChanged(); }
  void DataSetScrolled(int) override { m_grid->LinkDataChanged(); }
  void RecordChanged(TField*) override { m_grid->LinkDataChanged(); }

 private:
  TDBGrid* m_grid;  // owns this link
};

// --- model ------------------------------------------------------------------

// Rows are the link's window rows; cells read a row by making it the link's
// active record for the moment of the read.
class TDBGrid::GridModel : public QAbstractTableModel {
 public:
  GridModel(TDBGrid* grid, QObject* parent) : QAbstractTableModel(parent), m_grid(grid) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : m_grid->m_shownRows;
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : m_grid->m_modelColumns;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole)
      return QString::fromUtf8(m_grid->ShownCellText(index.row(), index.column()));
    if (role == Qt::TextAlignmentRole) {
      // The columns may have been rebound since the view's last reset.
      if (index.column() >= m_grid->ColumnCount() || !m_grid->ColumnsCurrent()) return {};
      const TField* field = m_grid->ShownColumn(index.column())->Field();
      if (field && field->Alignment() == taRightJustify)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      if (field && field->Alignment() == taCenter) return QVariant::fromValue(Qt::AlignCenter);
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
      if (section < 0 || section >= m_grid->ColumnCount() || !m_grid->ColumnsCurrent()) return {};
      return QString::fromUtf8(AnsiToUtf8(m_grid->ShownColumn(section)->TitleCaption()));
    }
    return section == m_grid->ShownCurrentRow() ? QString(QChar(0x25B6)) : QString();
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    // Selectable but never editable: the grids only show data.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

  // `change` brings the grid's counts to the new columns and rows while the
  // view holds nothing of the old ones.
  void Reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
  }

  // The window may have grown or shrunk; every cell may have changed.
  void RowsChanged(int oldRows, int newRows) {
    if (newRows > oldRows) {
      beginInsertRows({}, oldRows, newRows - 1);
      endInsertRows();
    } else if (newRows < oldRows) {
      beginRemoveRows({}, newRows, oldRows - 1);
      endRemoveRows();
    }
    if (newRows > 0 && columnCount({}) > 0)
      emit dataChanged(index(0, 0), index(newRows - 1, columnCount({}) - 1));
    // The row marker in the fixed-size vertical header is repainted by the
    // grid's header update; announcing it as changed header data would make
    // the header re-lay itself out on every notification.
  }

 private:
  TDBGrid* m_grid;  // owns the view that owns this model
};

// --- view -------------------------------------------------------------------

// Keys, wheel and clicks that leave the shown rows become dataset moves.
class TDBGrid::GridView : public QTableView {
 public:
  explicit GridView(TDBGrid* grid) : m_grid(grid) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    int move = 0;
    switch (event->key()) {
      case Qt::Key_Up: move = -1; break;
      case Qt::Key_Down: move = 1; break;
      case Qt::Key_PageUp: move = -m_grid->VisibleRowCount(); break;
      case Qt::Key_PageDown: move = m_grid->VisibleRowCount(); break;
      case Qt::Key_Home:
      case Qt::Key_End:
        if (ctrl) {
          const bool home = event->key() == Qt::Key_Home;
          SafeCall([this, home] {
            if (TDataSet* ds = m_grid->m_link->DataSet(); ds && m_grid->m_link->Active()) {
              if (home)
                ds->First();
              else
                ds->Last();
            }
          });
          event->accept();
          return;
        }
        break;
      case Qt::Key_Insert:
      case Qt::Key_Delete:
        // Inserting and deleting rows through the grid is not offered.
        event->accept();
        return;
      default: break;
    }
    if (move != 0) {
      m_grid->MoveBy(move);
      event->accept();
      return;
    }
    QTableView::keyPressEvent(event);
  }

  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::FontChange) {
      m_grid->m_charWidth = m_grid->m_rowHeight = -1;
      ++m_grid->m_fontGeneration;
    }
    QTableView::changeEvent(event);
  }

  void wheelEvent(QWheelEvent* event) override {
    m_wheel += event->angleDelta().y();
    const int steps = m_wheel / 120;
    m_wheel -= steps * 120;
    if (steps != 0) m_grid->MoveBy(-steps);
    event->accept();
  }

 private:
  TDBGrid* m_grid;  // owns the widget that owns this view
  int m_wheel = 0;
};

// --- columns ----------------------------------------------------------------

void TColumn::SetFieldName(const std::string& name) {
  m_fieldName = name;
  if (m_grid) m_grid->BuildColumns();
}

int TColumn::DefaultWidth() const {
  if (!m_field) return TDBGrid::kDefaultColWidth;
  const int chars = m_field->DisplayWidth();
  int width = chars * m_grid->CharWidth() + 4;
  if (QTableView* view = m_grid->m_view) {
    // Asked for every column on every layout pass: the title is compared in
    // place and measured again only when it or the font changed.
    const std::string& title = m_field ? m_field->DisplayName() : m_fieldName;
    if (m_titleWidth < 0 || title != m_measuredTitle || m_measuredFont != m_grid->m_fontGeneration) {
      m_titleWidth = view->fontMetrics().horizontalAdvance(QString::fromUtf8(AnsiToUtf8(title))) + 4;
      m_measuredTitle = title;
      m_measuredFont = m_grid->m_fontGeneration;
    }
    width = std::max(width, m_titleWidth);
  }
  return width;
}

int TColumn::Width() const { return m_width >= 0 ? m_width : DefaultWidth(); }

void TColumn::SetWidth(int width) {
  m_width = std::max(width, 0);
  if (m_grid) m_grid->ApplyColumnWidths();
}

std::string TColumn::TitleCaption() const { return m_field ? m_field->DisplayName() : m_fieldName; }

TColumn* TDBGridColumns::Add() {
  m_items.push_back(std::make_unique<TColumn>(m_grid));
  TColumn* column = m_items.back().get();
  m_grid->BuildColumns();
  return column;
}

void TDBGridColumns::Clear() {
  m_items.clear();
  m_grid->BuildColumns();
}

// --- grid -------------------------------------------------------------------

TDBGrid::TDBGrid(TComponent* AOwner)
    : TControl(AOwner), m_link(std::make_unique<GridLink>(this)), m_storedColumns(this) {
  auto* frame = new QFrame();
  frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  auto* layout = new QHBoxLayout(frame);
  layout->setContentsMargins(frame->frameWidth(), frame->frameWidth(), frame->frameWidth(),
                             frame->frameWidth());
  layout->setSpacing(0);

  m_view = new GridView(this);
  m_view->setFrameStyle(QFrame::NoFrame);
  m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  m_view->setSelectionMode(QAbstractItemView::SingleSelection);
  m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
  m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_view->setShowGrid(true);
  m_view->setWordWrap(false);
  m_view->setTabKeyNavigation(false);
  m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  m_view->horizontalHeader()->setStretchLastSection(false);
  m_view->horizontalHeader()->setHighlightSections(false);
  m_view->horizontalHeader()->setMinimumSectionSize(1);
  m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_view->verticalHeader()->setMinimumSectionSize(1);
  m_view->verticalHeader()->setFixedWidth(kIndicatorWidth);
  m_view->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  m_view->verticalHeader()->setHighlightSections(false);
  // The current cell is marked only while the grid has the focus.
  QPalette palette = m_view->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Base));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Text));
  m_view->setPalette(palette);
  frame->setFocusProxy(m_view);
  m_model = new GridModel(this, m_view);
  m_view->setModel(m_model);
  layout->addWidget(m_view, 1);

  m_vbar = new QScrollBar(Qt::Vertical);
  m_vbar->setEnabled(false);
  layout->addWidget(m_vbar);

  QObject::connect(m_view->horizontalHeader(), &QHeaderView::sectionResized,
                   [this](int index, int, int size) {
                     // The user dragged a title border: the column keeps that width.
                     if (m_syncing || index < 0 || index >= ColumnCount()) return;
                     m_shown[static_cast<size_t>(index)]->m_width = size;
                     SafeCall([this] { UpdateRowCount(); });
                   });
  QObject::connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged,
                   [this](const QModelIndex& current, const QModelIndex&) {
                     if (!m_syncing && current.isValid()) CurrentCellChanged(current.row());
                   });
  QObject::connect(m_vbar, &QScrollBar::actionTriggered, [this](int action) { ScrollBarAction(action); });
  QObject::connect(m_vbar, &QScrollBar::sliderReleased, [this] { ScrollBarReleased(); });
  // A parent widget may take the grid's widget down before the grid goes.
  m_widgetGone = QObject::connect(frame, &QObject::destroyed, [this] {
    m_view = nullptr;
    m_vbar = nullptr;
    m_model = nullptr;
  });
  SetWidget(frame);
  ResetView();
}

TDBGrid::~TDBGrid() {
  QObject::disconnect(m_widgetGone);
  m_view = nullptr;
  m_vbar = nullptr;
  m_model = nullptr;
  // Detach while the grid is whole: the data source must not call into a
  // half-destroyed grid.
  m_link->SetDataSource(nullptr);
}

TDataSource* TDBGrid::DataSource() const { return m_link->DataSource(); }

void TDBGrid::SetDataSource(TDataSource* dataSource) {
  m_link->SetDataSource(dataSource);
  LinkActiveChanged();
}

void TDBGrid::SetReadOnly(bool value) {
  m_readOnly = value;
  m_link->SetReadOnly(value);
}

void TDBGrid::MeasureFont() const {
  if (m_charWidth >= 0) return;
  if (!m_view) {
    m_charWidth = 7;
    m_rowHeight = 17;
    return;
  }
  const QFontMetrics metrics = m_view->fontMetrics();
  m_charWidth = std::max(metrics.horizontalAdvance(QLatin1Char('0')), 1);
  m_rowHeight = metrics.height() + 4;
}

int TDBGrid::CharWidth() const {
  MeasureFont();
  return m_charWidth;
}

int TDBGrid::RowHeight() const {
  MeasureFont();
  return m_rowHeight;
}

void TDBGrid::UpdateNow() {
  if (!ColumnsCurrent()) {
    BindColumns();
    m_layoutStale = true;
  }
  if (m_layoutStale)
    ResetView();
  else if (m_rowsStale)
    RefreshRows();
}

// Reading the screen brings it up to date first; the const accessors do it
// through this one cast, since updating changes nothing the caller can see
// but the freshness of what it reads.
QTableView* TDBGrid::View() const {
  const_cast<TDBGrid*>(this)->UpdateNow();
  return m_view;
}

QScrollBar* TDBGrid::VerticalBar() const {
  const_cast<TDBGrid*>(this)->UpdateNow();
  return m_vbar;
}

int TDBGrid::RowCount() const {
  const_cast<TDBGrid*>(this)->UpdateNow();
  return m_shownRows;
}

int TDBGrid::CurrentRow() const {
  const_cast<TDBGrid*>(this)->UpdateNow();
  return ShownCurrentRow();
}

int TDBGrid::ShownCurrentRow() const {
  if (!m_link->Active() || m_shownRows == 0) return -1;
  return m_link->ActiveRecord();
}

std::string TDBGrid::CellText(int row, int column) const {
  const_cast<TDBGrid*>(this)->UpdateNow();
  return ShownCellText(row, column);
}

std::string TDBGrid::ShownCellText(int row, int column) const {
  if (!m_link->Active() || row < 0 || row >= m_shownRows || column < 0 || column >= ColumnCount() ||
      !ColumnsCurrent())
    return std::string();
  TField* field = m_shown[static_cast<size_t>(column)]->Field();
  if (!field || row >= m_link->RecordCount()) return std::string();
  auto* link = m_link.get();
  const int saved = link->ActiveRecord();
  std::string text;
  try {
    link->SetActiveRecord(row);
    text = field->DisplayText();
  } catch (...) {
    // A value that cannot be shown leaves its cell empty; an error box from
    // inside painting would only repeat itself on every repaint.
    text.clear();
  }
  link->SetActiveRecord(saved);
  return AnsiToUtf8(text);
}

bool TDBGrid::HorizontalBarNeeded() const {
  int total = kIndicatorWidth;
  for (const TColumn* c : m_shown) total += c->Width();
  const int frame = Widget() ? static_cast<QFrame*>(Widget())->frameWidth() : 2;
  const int extent = m_vbar ? m_vbar->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 16;
  return total > Width() - 2 * frame - extent;
}

int TDBGrid::VisibleRowCount() const {
  const int frame = Widget() ? static_cast<QFrame*>(Widget())->frameWidth() : 2;
  int available = Height() - 2 * frame - TitleHeight();
  if (HorizontalBarNeeded())
    available -= m_view ? m_view->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 16;
  return std::max(available / RowHeight(), 1);
}

void TDBGrid::BoundsChanged() { SafeCall([this] { UpdateRowCount(); }); }

bool TDBGrid::UpdateBufferCount() {
  const int rows = VisibleRowCount();
  if (rows == m_link->BufferCount()) return false;
  m_link->SetBufferCount(rows);
  return true;
}

void TDBGrid::UpdateRowCount() {
  // Resizing the window of an open dataset fetches rows without a
  // notification, so the grid re-reads its rows itself.
  if (UpdateBufferCount()) RefreshRows();
}

void TDBGrid::BuildColumns() {
  BindColumns();
  ResetView();
}

bool TDBGrid::ColumnsCurrent() const {
  const TDataSet* dataSet = m_link->Active() ? m_link->DataSet() : nullptr;
  return dataSet == m_boundDataSet && (!dataSet || dataSet->Shape() == m_boundShape);
}

void TDBGrid::BindColumns() {
  TDataSet* dataSet = m_link->Active() ? m_link->DataSet() : nullptr;
  m_boundDataSet = dataSet;
  m_boundShape = dataSet ? dataSet->Shape() : 0;
  m_shown.clear();
  // Default columns are made afresh on every layout change, but the objects
  // are reused: a detail grid goes through this twice for every master row,
  // and a new column would measure its title again.
  size_t defaults = 0;
  if (m_storedColumns.Count() > 0) {
    for (auto& column : m_storedColumns.m_items) {
      column->m_field = dataSet ? dataSet->FindField(column->m_fieldName) : nullptr;
      m_shown.push_back(column.get());
    }
  } else if (dataSet) {
    for (TField* field : dataSet->Fields()) {
      if (!field->Visible()) continue;
      if (defaults == m_defaultColumns.size()) m_defaultColumns.push_back(std::make_unique<TColumn>(this));
      TColumn& column = *m_defaultColumns[defaults++];
      column.m_fieldName = field->FieldName();
      column.m_field = field;
      column.m_width = -1;
      m_shown.push_back(&column);
    }
  }
  // Unshown default columns keep no field: it may be destroyed with its dataset.
  for (size_t i = defaults; i < m_defaultColumns.size(); ++i) m_defaultColumns[i]->m_field = nullptr;
}

void TDBGrid::ResetView() {
  m_layoutStale = false;
  if (!m_view) return;
  const int rowHeight = RowHeight();
  m_view->verticalHeader()->setDefaultSectionSize(rowHeight);
  m_view->horizontalHeader()->setFixedHeight(TitleHeight());
  m_syncing = true;
  m_model->Reset([this] {
    m_shownRows = m_link->Active() ? std::min(m_link->RecordCount(), m_link->BufferCount()) : 0;
    m_modelColumns = ColumnCount();
  });
  m_syncing = false;
  ApplyColumnWidths();
  UpdateRowCount();
  RefreshRows();
}

void TDBGrid::ApplyColumnWidths() {
  if (!m_view) return;
  m_syncing = true;
  const int columns = std::min(ColumnCount(), m_modelColumns);
  for (int i = 0; i < columns; ++i) m_view->setColumnWidth(i, m_shown[static_cast<size_t>(i)]->Width());
  m_syncing = false;
}

void TDBGrid::LinkActiveChanged() {
  // The fields of a closed dataset may be gone: the columns let go of them
  // (and take the new ones) at once, and the buffer count the dataset
  // fetches by must be right before it next reads. A closing dataset reads
  // nothing: its count is left as it was, so that a detail reopened for the
  // next master row fills its window once, at the size it is shown with.
  BindColumns();
  if (m_link->Active()) UpdateBufferCount();
  m_layoutStale = true;
  ScheduleUpdate();
}

void TDBGrid::LinkDataChanged() {
  m_rowsStale = true;
  ScheduleUpdate();
}

void TDBGrid::ScheduleUpdate() {
  // One update per visit of the loop, however many notifications came:
  // a transfer sends several for every row it writes.
  if (m_updateQueued || !m_view) return;
  m_updateQueued = true;
  QTimer::singleShot(0, m_view, [this] {
    m_updateQueued = false;
    SafeCall([this] { UpdateNow(); });
  });
}

void TDBGrid::RefreshRows() {
  m_rowsStale = false;
  if (!m_view) return;
  const int oldRows = m_shownRows;
  m_shownRows = m_link->Active() ? std::min(m_link->RecordCount(), m_link->BufferCount()) : 0;
  m_syncing = true;
  m_model->RowsChanged(oldRows, m_shownRows);
  const int current = ShownCurrentRow();
  if (current >= 0 && m_modelColumns > 0) {
    const int column = std::max(m_view->currentIndex().column(), 0);
    const QModelIndex target = m_model->index(current, std::min(column, m_modelColumns - 1));
    // Single selection: an unchanged, selected current cell needs no new selection.
    if (target != m_view->currentIndex() || !m_view->selectionModel()->isSelected(target))
      m_view->setCurrentIndex(target);
  } else {
    m_view->setCurrentIndex({});
  }
  m_syncing = false;
  m_view->viewport()->update();
  m_view->verticalHeader()->viewport()->update();
  UpdateScrollBar();
}

void TDBGrid::CurrentCellChanged(int row) {
  const int current = ShownCurrentRow();
  if (current < 0 || row == current) return;
  MoveBy(row - current);
}

void TDBGrid::MoveBy(int distance) {
  SafeCall([this, distance] {
    if (m_link->Active() && distance != 0) m_link->MoveBy(distance);
  });
  // A move that changed nothing sends no notification; the view may still
  // show a cell the user picked, so put it back on the current row.
  RefreshRows();
}

// The scroll bar: proportional when the dataset knows its row count and the
// current row's number; otherwise three positions (first row, somewhere in
// between, last row), since nothing more is known.
void TDBGrid::UpdateScrollBar() {
  if (!m_vbar) return;
  const QSignalBlocker block(m_vbar);
  TDataSet* dataSet = m_link->DataSet();
  if (!m_link->Active() || !dataSet || dataSet->IsEmpty()) {
    m_vbar->setRange(0, 0);
    m_vbar->setEnabled(false);
    return;
  }
  m_vbar->setEnabled(true);
  const int count = dataSet->RecordCount();
  const int recNo = dataSet->RecNo();
  if (count > 0 && recNo > 0) {
    m_vbar->setRange(0, std::max(count - 1, 0));
    m_vbar->setPageStep(VisibleRowCount());
    m_vbar->setValue(recNo - 1);
  } else {
    m_vbar->setRange(0, 4);
    m_vbar->setPageStep(1);
    m_vbar->setValue(dataSet->Bof() ? 0 : dataSet->Eof() ? 4 : 2);
  }
}

void TDBGrid::ScrollBarAction(int action) {
  TDataSet* dataSet = m_link->DataSet();
  if (!m_link->Active() || !dataSet) return;
  bool refresh = true;
  SafeCall([&] {
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: m_link->MoveBy(1); break;
      case QAbstractSlider::SliderSingleStepSub: m_link->MoveBy(-1); break;
      case QAbstractSlider::SliderPageStepAdd: m_link->MoveBy(VisibleRowCount()); break;
      case QAbstractSlider::SliderPageStepSub: m_link->MoveBy(-VisibleRowCount()); break;
      case QAbstractSlider::SliderToMinimum: dataSet->First(); break;
      case QAbstractSlider::SliderToMaximum: dataSet->Last(); break;
      case QAbstractSlider::SliderMove: {
        const int recNo = dataSet->RecNo();
        if (dataSet->RecordCount() > 0 && recNo > 0)
          m_link->MoveBy(m_vbar->sliderPosition() - (recNo - 1));
        else
          refresh = false;  // the three-position bar acts on release
        break;
      }
      default: break;
    }
  });
  if (refresh) RefreshRows();
}

void TDBGrid::ScrollBarReleased() {
  TDataSet* dataSet = m_link->DataSet();
  if (m_link->Active() && dataSet && !(dataSet->RecordCount() > 0 && dataSet->RecNo() > 0)) {
    const int position = m_vbar->sliderPosition();
    SafeCall([&] {
      if (position <= m_vbar->minimum())
        dataSet->First();
      else if (position >= m_vbar->maximum())
        dataSet->Last();
    });
  }
  RefreshRows();
}
