#pragma once
// The TCP console's connection indices: which indices are loaded, which were freed
// by their peer and may be reused, the bar code registered on each, and the
// highest index ever loaded. Lookups by index or bar code never scan.
#include <QHash>
#include <QString>

#include <optional>
#include <set>
#include <vector>

namespace core {

class ConnectionTable {
public:
    // Indices travel as 16-bit signed counts: nothing above this is ever loaded.
    static constexpr int kMaxIndex = 32767;

    // A connection request: the lowest index freed by its peer, else ConnCount + 1
    // (arrays grown to ConnCount + 1 elements). Empty when that would pass kMaxIndex.
    std::optional<int> allocate();
    // The peer closed index i (or it failed): SlotFree(i) = True, unloaded,
    // ClientBarCode(i) emptied. Returns the bar code it held.
    QString releaseByPeer(int i);
    // The stop action: every loaded index gets an empty bar code and is unloaded;
    // SlotFree is not changed. Returns the indices that were loaded, ascending.
    std::vector<int> stopAll();
    // The stop button: SlotFree and ClientBarCode shrink to element 0 (kept).
    void shrinkToFirst();

    void setBarCode(int i, const QString& barCode);
    // The lowest loaded index whose bar code equals `barCode`.
    std::optional<int> firstLoadedWith(const QString& barCode) const;

    bool loaded(int i) const { return loaded_.count(i) != 0; }
    int loadedCount() const { return static_cast<int>(loaded_.size()); }
    int highestLoaded() const { return loaded_.empty() ? 0 : *loaded_.rbegin(); }
    int connCount() const { return connCount_; }
    const std::vector<bool>& slotFree() const { return slotFree_; }
    const std::vector<QString>& clientBarCode() const { return barCode_; }

private:
    void unindex(int i);

    std::vector<bool> slotFree_{false};
    std::vector<QString> barCode_;
    int connCount_ = 0;
    std::set<int> free_;                       // i >= 1 with slotFree_[i]
    std::set<int> loaded_;
    QHash<QString, std::set<int>> byBarCode_;  // loaded indices by their bar code
};

}  // namespace core
