#include "u_BookPacker.h"

#include "u_CabWriter.h"
#include "u_MFS.h"
#include "u_Text.h"

namespace {

void ListFolder(const TMFSFolder& folder, const std::string& path, std::ostream& out) {
    folder.Children.ForEach([&](const std::string&, TMFSItem* item) {
        const std::string itemPath = path + "\\" + item->Name;
        const auto* file = dynamic_cast<const TMFSFile*>(item);
        out << (file ? 'F' : 'D') << '\t' << itemPath << '\t' << (file ? file->Data.size() : 0) << '\t'
            << Format("%08X", item->DateTime) << '\t' << Format("%02X", item->Attributes) << '\n';
        if (const auto* child = dynamic_cast<const TMFSFolder*>(item)) ListFolder(*child, itemPath, out);
    });
}

} // namespace

std::string PackArchiveImage(const std::string& image) {
    return WriteCabinet({TCabEntry{
        "info.mfs", image, ImageRootDateTime(image).value_or(PackingDateTime(0x00210000)), faArchive}});
}

void ListArchive(const TMFS& archive, std::ostream& out) {
    ListFolder(*archive.Root(), "", out);
}
