#include "view/CHostListModel.h"

#include <QHeaderView>
#include <QTableView>

namespace {

const char* const kHeaders[CHostListModel::kColumnCount] = {"Addresses", "ttl", "time(ms)",
                                                            "bytes"};

}  // namespace

CHostListModel::CHostListModel(const sondrel::RowStore& rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows) {}

int CHostListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.Size());
}

int CHostListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CHostListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == 0)) {
        return QString::fromStdString(Text(index.row(), index.column()));
    }
    return {};
}

QVariant CHostListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void CHostListModel::ResultsChanged(int first, int last) {
    emit dataChanged(index(first, 1), index(last, kColumnCount - 1), {Qt::DisplayRole});
}

// A table without grid or row numbers reads as the list it stands for; unlike a tree view, it
// finds the place of a changed row without walking the rows before it. Green on black is the
// monitor's look; the selection keeps the desktop's colours.
void StyleHostList(QTableView* list) {
    list->setObjectName(QStringLiteral("hosts"));
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* header = list->horizontalHeader();
    header->setSectionsMovable(false);
    header->setStretchLastSection(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setMinimumSectionSize(20);
    header->setHighlightSections(false);
    QPalette pal = list->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, Qt::black);
        pal.setColor(group, QPalette::AlternateBase, Qt::black);
        pal.setColor(group, QPalette::Text, QColor(0, 255, 0));
        pal.setColor(group, QPalette::WindowText, QColor(0, 255, 0));
    }
    list->setPalette(pal);
}
