#include "u_CabWriter.h"

#include <libgcab.h>

#include <memory>

namespace {

template <class T> struct GObjectDeleter {
    void operator()(T* object) const { g_object_unref(object); }
};
template <class T> using GObjectPtr = std::unique_ptr<T, GObjectDeleter<T>>;

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};

[[noreturn]] void Fail(GError* error) {
    std::unique_ptr<GError, GErrorDeleter> owned(error);
    throw ECabWriteError(Format("Cannot write the cabinet: %s", owned ? owned->message : "unknown error"));
}

// gcab stores the date-time's fields as they are, so a UTC date-time carries the DOS fields over
// unchanged.
GDateTime* DateTimeOf(uint32_t dos) {
    const int date = static_cast<int>(dos >> 16), time = static_cast<int>(dos & 0xFFFF);
    const int year = 1980 + (date >> 9), month = (date >> 5) & 0xF, day = date & 0x1F;
    GDateTime* dt = g_date_time_new_utc(year, month, day, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
    return dt ? dt : g_date_time_new_utc(1980, 1, 1, 0, 0, 0);
}

} // namespace

std::string WriteCabinet(const std::vector<TCabEntry>& entries, bool compress) {
    GObjectPtr<GCabCabinet> cabinet(gcab_cabinet_new());
    GObjectPtr<GCabFolder> folder(gcab_folder_new(compress ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
    for (const TCabEntry& entry : entries) {
        GBytes* bytes = g_bytes_new(entry.Data.data(), entry.Data.size());
        GObjectPtr<GCabFile> file(gcab_file_new_with_bytes(entry.Name.c_str(), bytes));
        g_bytes_unref(bytes);
        GDateTime* dt = DateTimeOf(entry.DateTime);
        gcab_file_set_date_time(file.get(), dt);
        g_date_time_unref(dt);
        gcab_file_set_attributes(file.get(), entry.Attributes);
        GError* error = nullptr;
        if (!gcab_folder_add_file(folder.get(), file.get(), FALSE, nullptr, &error)) Fail(error);
    }
    GError* error = nullptr;
    if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), &error)) Fail(error);
    GObjectPtr<GOutputStream> out(g_memory_output_stream_new_resizable());
    if (!gcab_cabinet_write_simple(cabinet.get(), out.get(), nullptr, nullptr, nullptr, &error)) Fail(error);
    if (!g_output_stream_close(out.get(), nullptr, &error)) Fail(error);
    auto* memory = G_MEMORY_OUTPUT_STREAM(out.get());
    return std::string(static_cast<const char*>(g_memory_output_stream_get_data(memory)),
                       g_memory_output_stream_get_data_size(memory));
}
