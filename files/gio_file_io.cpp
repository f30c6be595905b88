#include <gio/gio.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "files/file_io.h"
#include "gobj/gerror.h"
#include "gobj/handles.h"

namespace files {
namespace {

common::Error ioError(const GError* error) {
    return error ? gobj::toError(error, common::Error::Kind::Io)
                 : common::Error{common::Error::Kind::Io, "write failed"};
}

class GioReplaceStream final : public ReplaceStream {
public:
    GioReplaceStream(gobj::GRef<GFileOutputStream> stream, std::string path, bool existed)
        : stream_(std::move(stream)), path_(std::move(path)), existed_(existed) {}

    ~GioReplaceStream() override {
        if (committed_) return;
        // Closing with a cancelled cancellable drops the temporary file and keeps the target.
        if (!g_output_stream_is_closed(G_OUTPUT_STREAM(stream_.get()))) {
            gobj::GRef<GCancellable> cancel = gobj::adopt(g_cancellable_new());
            g_cancellable_cancel(cancel.get());
            g_output_stream_close(G_OUTPUT_STREAM(stream_.get()), cancel.get(), nullptr);
        }
        // A file that did not exist is written in place by GIO; a half-written one is removed.
        if (!existed_) g_unlink(path_.c_str());
    }

    common::Status write(const std::uint8_t* data, std::size_t size) override {
        g_autoptr(GError) error = nullptr;
        if (!g_output_stream_write_all(G_OUTPUT_STREAM(stream_.get()), data, size, nullptr, nullptr, &error))
            return ioError(error);
        return common::Ok{};
    }

    common::Status commit() override {
        g_autoptr(GError) error = nullptr;
        if (!g_output_stream_close(G_OUTPUT_STREAM(stream_.get()), nullptr, &error)) return ioError(error);
        committed_ = true;
        return common::Ok{};
    }

private:
    gobj::GRef<GFileOutputStream> stream_;
    std::string path_;
    bool existed_;
    bool committed_ = false;
};

}  // namespace

common::Status replaceFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    auto stream = ReplaceStream::open(path);
    if (!stream) return stream.error();
    if (auto s = (*stream)->write(data, size); !s) return s;
    return (*stream)->commit();
}

common::Result<std::unique_ptr<ReplaceStream>> ReplaceStream::open(const std::string& chosen) {
    // GIO writes through a symbolic link in place, truncating first, so a failed write would
    // destroy the linked file. Replacing the file the link points to keeps both the link and the
    // guarantee.
    std::string path = chosen;
    struct stat st {};
    if (lstat(chosen.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = realpath(chosen.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
    bool existed = lstat(path.c_str(), &st) == 0;
    gobj::GRef<GFile> file = gobj::adopt(g_file_new_for_path(path.c_str()));
    g_autoptr(GError) error = nullptr;
    GFileOutputStream* stream = g_file_replace(file.get(), nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &error);
    if (!stream) return ioError(error);
    return std::unique_ptr<ReplaceStream>(std::make_unique<GioReplaceStream>(gobj::adopt(stream), path, existed));
}

}  // namespace files
