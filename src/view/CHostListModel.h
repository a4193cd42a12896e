#pragma once
// The rows of the main list behind its table view: four columns ("Addresses", "ttl",
// "time(ms)", "bytes"), rows kept in row order by the RowStore, found by text in O(log n).
#include <QAbstractTableModel>
#include <string>
#include <string_view>

#include "model/ReplyRules.h"
#include "session/RowStore.h"

class CHostListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 4;

    explicit CHostListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Inserts a row with the given display text and result columns; returns its index.
    int InsertRow(const std::string& text, uint32_t address, const sondrel::ResultColumns& results);
    // The first row whose text matches ignoring case, or -1.
    int FindRow(std::string_view text) const { return m_rows.Find(text); }
    void RemoveRowAt(int row);
    void RemoveAll();
    void SetResults(int row, const sondrel::ResultColumns& results);

    int Count() const { return static_cast<int>(m_rows.Size()); }
    const std::string& Text(int row, int column) const {
        return m_rows.Column(static_cast<size_t>(row), column);
    }
    uint32_t Address(int row) const { return m_rows.At(static_cast<size_t>(row)).address; }
    const sondrel::RowStore& Rows() const { return m_rows; }

private:
    sondrel::RowStore m_rows;
};
