// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/gtk_pasteboard.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "common/log.h"
#include "drop/drag_types.h"
#include "gobj/gerror.h"
#include "gobj/handles.h"

namespace drop {

namespace {

// No drag source gets to fill memory without bound: an offer larger than this is ignored.
constexpr gsize kMaxFormatBytes = 256u * 1024 * 1024;
constexpr gsize kChunk = 256 * 1024;

std::optional<std::string> charsetOf(const std::string& format) {
    auto at = format.find("charset=");
    if (at == std::string::npos) return std::nullopt;
    std::string cs = format.substr(at + 8);
    cs = cs.substr(0, cs.find(';'));
    if (cs.size() >= 2 && cs.front() == '"' && cs.back() == '"') cs = cs.substr(1, cs.size() - 2);
    return cs;
}

// Plain text in the charset its format names; without one, UTF-8 when it is, else the locale's.
std::optional<std::string> toUtf8(const common::Bytes& bytes, const std::string& format) {
    std::optional<std::string> charset = charsetOf(format);
    const char* data = reinterpret_cast<const char*>(bytes.data());
    if (!charset) {
        if (g_utf8_validate(data, static_cast<gssize>(bytes.size()), nullptr)) return std::string(data, bytes.size());
        const char* locale = nullptr;
        g_get_charset(&locale);
        charset = locale ? locale : "ISO-8859-1";
    }
    gsize written = 0;
    g_autoptr(GError) error = nullptr;
    g_autofree char* utf8 =
        g_convert(data, static_cast<gssize>(bytes.size()), "UTF-8", charset->c_str(), nullptr, &written, &error);
    if (!utf8) {
        common::log::warning(gobj::describe(error, "drop: the offered text could not be read as " + *charset));
        return std::nullopt;
    }
    return std::string(utf8, written);
}

// Local files as paths; every other URL, a browser's link, as it was written.
void readUriList(MemoryPasteboard& pb, const common::Bytes& bytes) {
    std::string text(bytes.begin(), bytes.end());
    g_auto(GStrv) uris = g_uri_list_extract_uris(text.c_str());
    for (char** u = uris; u && *u; ++u) {
        g_autofree char* path = g_filename_from_uri(*u, nullptr, nullptr);  // file URLs only
        if (path)
            pb.files.emplace_back(path);
        else
            pb.linked.emplace_back(*u);
    }
}

// One format to read, and where its bytes go.
struct Step {
    std::string format;
    std::function<void(MemoryPasteboard&, const common::Bytes&)> store;
};

std::vector<Step> stepsFor(const std::vector<std::string>& formats);

// Reads the steps one after another from a drop or a clipboard, which GDK read alike.
class DropReader {
public:
    DropReader(GObject* source, std::vector<std::string> formats, std::function<void(GObject*, MemoryPasteboard)> done)
        : source_(gobj::retain(source)), steps_(stepsFor(formats)), done_(std::move(done)) {
        contents_.offered = std::move(formats);
    }

    // Owns itself until the last step has answered.
    static void start(std::unique_ptr<DropReader> reader) { reader.release()->next(); }

private:
    void next() {
        if (step_ == steps_.size()) {
            auto done = std::move(done_);
            auto source = std::move(source_);
            auto contents = std::move(contents_);
            delete this;
            done(source.get(), std::move(contents));
            return;
        }
        const char* mimeTypes[] = {steps_[step_].format.c_str(), nullptr};
        buffer_.clear();
        if (GDK_IS_DROP(source_.get()))
            gdk_drop_read_async(GDK_DROP(source_.get()), mimeTypes, G_PRIORITY_DEFAULT, nullptr, onOpened, this);
        else
            gdk_clipboard_read_async(GDK_CLIPBOARD(source_.get()), mimeTypes, G_PRIORITY_DEFAULT, nullptr, onOpened,
                                     this);
    }

    static void onOpened(GObject* source, GAsyncResult* result, gpointer data) noexcept {
        auto* self = static_cast<DropReader*>(data);
        g_autoptr(GError) error = nullptr;
        self->stream_ = gobj::adopt(GDK_IS_DROP(source)
                                        ? gdk_drop_read_finish(GDK_DROP(source), result, nullptr, &error)
                                        : gdk_clipboard_read_finish(GDK_CLIPBOARD(source), result, nullptr, &error));
        if (!self->stream_) {
            common::log::warning(gobj::describe(error, "drop: reading " + self->format() + " failed"));
            return self->finishStep(false);
        }
        self->readChunk();
    }

    const std::string& format() const { return steps_[step_].format; }

    void readChunk() {
        g_input_stream_read_bytes_async(stream_.get(), kChunk, G_PRIORITY_DEFAULT, nullptr, onChunk, this);
    }

    static void onChunk(GObject* source, GAsyncResult* result, gpointer data) noexcept {
        auto* self = static_cast<DropReader*>(data);
        g_autoptr(GError) error = nullptr;
        g_autoptr(GBytes) chunk = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &error);
        if (!chunk) {
            common::log::warning(gobj::describe(error, "drop: reading " + self->format() + " failed"));
            return self->finishStep(false);
        }
        gsize size = 0;
        auto* bytes = static_cast<const std::uint8_t*>(g_bytes_get_data(chunk, &size));
        if (size == 0) return self->finishStep(true);
        if (self->buffer_.size() + size > kMaxFormatBytes) {
            common::log::warning("drop: " + self->format() + " offered by the source is too large; left out");
            return self->finishStep(false);
        }
        self->buffer_.insert(self->buffer_.end(), bytes, bytes + size);
        self->readChunk();
    }

    void finishStep(bool complete) {
        if (stream_) g_input_stream_close_async(stream_.get(), G_PRIORITY_DEFAULT, nullptr, nullptr, nullptr);
        stream_.reset();
        if (complete) steps_[step_].store(contents_, buffer_);
        buffer_.clear();
        ++step_;
        next();
    }

    gobj::GRef<GObject> source_;
    std::vector<Step> steps_;
    std::function<void(GObject*, MemoryPasteboard)> done_;
    size_t step_ = 0;
    gobj::GRef<GInputStream> stream_;
    common::Bytes buffer_;
    MemoryPasteboard contents_;
};

// The format to read for each kind: the first offered, except that UTF-8 text is preferred.
std::vector<Step> stepsFor(const std::vector<std::string>& formats) {
    std::optional<std::string> files, image, plain, rtf, html;
    for (const std::string& f : formats) {
        switch (formatKind(f)) {
            case FormatKind::Files:
                if (!files && f == "text/uri-list") files = f;
                break;
            case FormatKind::Png:
            case FormatKind::Tiff:
                // PNG is smaller to move and needs no conversion of colour depth.
                if (!image || (formatKind(*image) == FormatKind::Tiff && formatKind(f) == FormatKind::Png)) image = f;
                break;
            case FormatKind::PlainText:
                if (f.rfind("text/plain", 0) == 0 &&
                    (!plain || (charsetOf(f) && g_ascii_strcasecmp(charsetOf(f)->c_str(), "utf-8") == 0)))
                    plain = f;
                break;
            case FormatKind::Rtf:
                if (!rtf) rtf = f;
                break;
            case FormatKind::Html:
                if (!html) html = f;
                break;
            case FormatKind::Other:
                break;
        }
    }
    std::vector<Step> steps;
    if (files) steps.push_back({*files, [](MemoryPasteboard& pb, const common::Bytes& b) { readUriList(pb, b); }});
    if (image) steps.push_back({*image, [](MemoryPasteboard& pb, const common::Bytes& b) { pb.image = b; }});
    if (plain)
        steps.push_back({*plain, [format = *plain](MemoryPasteboard& pb, const common::Bytes& b) {
                             pb.plain = toUtf8(b, format);
                         }});
    if (rtf) steps.push_back({*rtf, [](MemoryPasteboard& pb, const common::Bytes& b) { pb.rtf = b; }});
    if (html) steps.push_back({*html, [](MemoryPasteboard& pb, const common::Bytes& b) { pb.html = b; }});
    return steps;
}

}  // namespace

std::vector<std::string> dropFormats(GdkContentFormats* formats) {
    std::vector<std::string> out;
    if (!formats) return out;
    gsize n = 0;
    const char* const* mimeTypes = gdk_content_formats_get_mime_types(formats, &n);
    for (gsize i = 0; i < n; ++i) out.emplace_back(mimeTypes[i]);
    // GTK lists the types an offer can be turned into beside what the source offers (a TIFF offer
    // also reads as a texture). A type stands in for a MIME type only where the source offers none
    // of its kind: reading "image/png" from a source that only has "image/tiff" gets nothing.
    const std::size_t offered = out.size();
    auto family = [](std::string_view f) {
        FormatKind k = formatKind(f);
        return k == FormatKind::Tiff ? FormatKind::Png : k;  // any image the texture would be made from
    };
    auto offersKind = [&](const char* mime) {
        return std::any_of(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(offered),
                           [&](const std::string& f) { return family(f) == family(mime); });
    };
    const GType* types = gdk_content_formats_get_gtypes(formats, &n);
    for (gsize i = 0; i < n; ++i) {
        const char* mime = types[i] == GDK_TYPE_FILE_LIST || types[i] == G_TYPE_FILE     ? "text/uri-list"
                           : types[i] == G_TYPE_STRING                                   ? "text/plain;charset=utf-8"
                           : types[i] == GDK_TYPE_TEXTURE || types[i] == GDK_TYPE_PIXBUF ? "image/png"
                                                                                         : nullptr;
        if (mime && !offersKind(mime) && std::find(out.begin(), out.end(), mime) == out.end()) out.emplace_back(mime);
    }
    return out;
}

void readDrop(GdkDrop* drop, std::function<void(GdkDrop*, MemoryPasteboard)> done) {
    DropReader::start(
        std::make_unique<DropReader>(G_OBJECT(drop), dropFormats(gdk_drop_get_formats(drop)),
                                     [done = std::move(done)](GObject* source, MemoryPasteboard contents) {
                                         done(GDK_DROP(source), std::move(contents));
                                     }));
}

void readClipboardFilesAndImage(GdkClipboard* clipboard, std::function<void(MemoryPasteboard contents)> done) {
    std::vector<std::string> formats = dropFormats(gdk_clipboard_get_formats(clipboard));
    std::erase_if(formats, [](const std::string& f) {
        const FormatKind k = formatKind(f);
        return k != FormatKind::Files && k != FormatKind::Png && k != FormatKind::Tiff;
    });
    DropReader::start(std::make_unique<DropReader>(
        G_OBJECT(clipboard), std::move(formats),
        [done = std::move(done)](GObject*, MemoryPasteboard contents) { done(std::move(contents)); }));
}

}  // namespace drop
