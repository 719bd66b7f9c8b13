#include "core/surface/session_records.h"

#include <cstring>
#include <memory>

#include "core/app/number_text.h"
#include "core/surface/record_text.h"

namespace velmor {

namespace {

const RecordRow* FindIn(const std::vector<RecordRow>& rows, const std::string& name) {
    for (const RecordRow& row : rows) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

std::string RecordName(int recordVersion) {
    return recordVersion == 0 ? "FIXED_DATA" : "FIXED_DATA" + FormatInt(recordVersion + 1);
}

}  // namespace

const RecordRow* FindRecordRow(const std::string& name, int recordVersion, bool* inUserData) {
    if (const RecordRow* row = FindIn(UserDataRows(), name)) {
        *inUserData = true;
        return row;
    }
    *inUserData = false;
    return FindIn(FixedDataRows(recordVersion), name);
}

std::vector<SessionEntry> ChangedRecordRows(const RecordPair& current, const RecordPair& fresh,
                                            int recordVersion) {
    std::vector<SessionEntry> rows;
    auto compare = [&rows](const std::vector<RecordRow>& table, const void* now,
                           const void* before) {
        for (const RecordRow& row : table) {
            if (row.kind == RowKind::kPointer) continue;
            std::string text = FieldToText(row, now);
            if (text != FieldToText(row, before)) rows.push_back({row.name, std::move(text)});
        }
    };
    compare(UserDataRows(), &current.ud, &fresh.ud);
    compare(FixedDataRows(recordVersion), current.fd, fresh.fd);
    return rows;
}

int ApplyRecordRows(RecordPair& initial, int recordVersion, const std::vector<SessionEntry>& rows,
                    std::vector<std::string>* problems) {
    int applied = 0;
    // A refused text must leave the field as it was: each row goes into a copy first.
    auto trial = std::make_unique<RecordPair>();
    for (const SessionEntry& entry : rows) {
        bool inUserData = false;
        const RecordRow* row = FindRecordRow(entry.key, recordVersion, &inUserData);
        if (row == nullptr) {
            problems->push_back(entry.key + "=" + entry.value + ": no such row in USER_DATA or " +
                                RecordName(recordVersion) + " (record version " +
                                FormatInt(recordVersion) + "), not applied");
            continue;
        }
        // The text form writes nothing outside the field: the field alone is tried in the copy.
        void* record = inUserData ? static_cast<void*>(&trial->ud) : trial->fd;
        void* target = inUserData ? static_cast<void*>(&initial.ud) : initial.fd;
        std::memcpy(static_cast<unsigned char*>(record) + row->offset,
                    static_cast<const unsigned char*>(target) + row->offset,
                    static_cast<std::size_t>(row->size));
        std::string rewrite;
        if (!TextToField(*row, record, entry.value, &rewrite)) {
            std::string why = entry.key + "=" + entry.value + ": the " + row->typeText +
                              " field cannot hold this text";
            if (!rewrite.empty()) why += " (the table would keep \"" + rewrite + "\")";
            problems->push_back(why + ", not applied");
            continue;
        }
        std::memcpy(static_cast<unsigned char*>(target) + row->offset,
                    static_cast<const unsigned char*>(record) + row->offset,
                    static_cast<std::size_t>(row->size));
        ++applied;
    }
    return applied;
}

}  // namespace velmor
