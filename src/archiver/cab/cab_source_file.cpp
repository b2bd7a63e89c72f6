#include "archiver/cab/cab_source_file.h"

#include "archiver/archive_error.h"

#include <cstring>

extern "C" {

struct SheafCabSource
{
    GObject parent;
    std::shared_ptr<sheaf::archiver::CabSourceState> *state;
};
struct SheafCabSourceClass
{
    GObjectClass parent_class;
};
static void sheaf_cab_source_file_init(GFileIface *iface);
G_DEFINE_TYPE_WITH_CODE(SheafCabSource, sheaf_cab_source, G_TYPE_OBJECT,
    G_IMPLEMENT_INTERFACE(G_TYPE_FILE, sheaf_cab_source_file_init))

struct SheafCabSourceStream
{
    GFileInputStream parent;
    std::shared_ptr<sheaf::archiver::CabSourceState> *state;
    sheaf::archiver::SourceFile *source;
};
struct SheafCabSourceStreamClass
{
    GFileInputStreamClass parent_class;
};
G_DEFINE_TYPE(SheafCabSourceStream, sheaf_cab_source_stream, G_TYPE_FILE_INPUT_STREAM)
}

namespace sheaf::archiver {

namespace {

CabSourceState &stateOf(GFile *file)
{
    return **reinterpret_cast<SheafCabSource *>(file)->state;
}

// An exception kept for the caller of gcab, and a GError for gcab.
void keep(CabSourceState &state, GError **error)
{
    *state.failure = std::current_exception();
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_FAILED, "元のファイルを読み込めません");
}

GFile *dupFn(GFile *file)
{
    return G_FILE(g_object_ref(file));
}

guint hashFn(GFile *file)
{
    return g_str_hash(stateOf(file).entry.source.c_str());
}

gboolean equalFn(GFile *a, GFile *b)
{
    return a == b;
}

gboolean isNativeFn(GFile *)
{
    return TRUE;
}

gboolean hasUriSchemeFn(GFile *, const char *scheme)
{
    return g_ascii_strcasecmp(scheme, "file") == 0;
}

char *uriSchemeFn(GFile *)
{
    return g_strdup("file");
}

char *basenameFn(GFile *file)
{
    return g_strdup(stateOf(file).entry.source.filename().c_str());
}

char *pathFn(GFile *file)
{
    return g_strdup(stateOf(file).entry.source.c_str());
}

char *uriFn(GFile *file)
{
    return g_filename_to_uri(stateOf(file).entry.source.c_str(), nullptr, nullptr);
}

GFile *parentFn(GFile *)
{
    return nullptr;
}

GFileInfo *queryInfoFn(GFile *file, const char *, GFileQueryInfoFlags, GCancellable *, GError **)
{
    const CabSourceState &state = stateOf(file);
    GFileInfo *info = g_file_info_new();
    g_file_info_set_file_type(info, G_FILE_TYPE_REGULAR);
    g_file_info_set_name(info, state.entry.source.filename().c_str());
    g_file_info_set_size(info, goffset(state.size));
    GDateTime *epoch = g_date_time_new_from_unix_utc(0); // replaced by the member's own time
    g_file_info_set_modification_date_time(info, epoch);
    g_date_time_unref(epoch);
    return info;
}

GFileInputStream *readFn(GFile *file, GCancellable *, GError **error)
{
    CabSourceState &state = stateOf(file);
    SourceFile *source = nullptr;
    try {
        if (state.held) {
            state.held->rewind();
        } else {
            source = new SourceFile(state.entry, state.progress);
            if (source->size() != state.size)
                throw ArchiveError(ErrorCode::ReadFailed,
                    "読み込み中にファイルの大きさが変わりました: " + state.entry.source.string());
        }
    } catch (...) {
        delete source;
        keep(state, error);
        return nullptr;
    }
    auto *stream = static_cast<SheafCabSourceStream *>(
        g_object_new(sheaf_cab_source_stream_get_type(), nullptr));
    stream->state
        = new std::shared_ptr<CabSourceState>(*reinterpret_cast<SheafCabSource *>(file)->state);
    stream->source = source;
    return G_FILE_INPUT_STREAM(stream);
}

gssize streamReadFn(GInputStream *object, void *buffer, gsize count, GCancellable *, GError **error)
{
    auto *stream = reinterpret_cast<SheafCabSourceStream *>(object);
    CabSourceState &state = **stream->state;
    SourceFile &source = stream->source ? *stream->source : *state.held;
    try {
        checkCancel(state.cancel);
        const size_t n = source.read(buffer, count);
        if (source.bytesRead() == source.size()) {
            source.finish(); // gcab may stop at a short read without asking again
            state.done = true;
            state.bytesRead = source.bytesRead();
            state.crc32 = source.crc32();
        }
        return gssize(n);
    } catch (...) {
        keep(state, error);
        return -1;
    }
}

gboolean streamCloseFn(GInputStream *object, GCancellable *, GError **)
{
    auto *stream = reinterpret_cast<SheafCabSourceStream *>(object);
    delete stream->source;
    stream->source = nullptr;
    return TRUE;
}

void streamFinalizeFn(GObject *object)
{
    auto *stream = reinterpret_cast<SheafCabSourceStream *>(object);
    delete stream->source;
    delete stream->state;
    G_OBJECT_CLASS(sheaf_cab_source_stream_parent_class)->finalize(object);
}

void fileFinalizeFn(GObject *object)
{
    delete reinterpret_cast<SheafCabSource *>(object)->state;
    G_OBJECT_CLASS(sheaf_cab_source_parent_class)->finalize(object);
}

} // namespace

GFile *newCabSourceFile(std::shared_ptr<CabSourceState> state)
{
    auto source = std::make_unique<SourceFile>(state->entry, nullptr);
    state->size = source->size();
    if (source->readWholeAtOpen())
        state->held = std::move(source);
    auto *file = static_cast<SheafCabSource *>(g_object_new(sheaf_cab_source_get_type(), nullptr));
    file->state = new std::shared_ptr<CabSourceState>(std::move(state));
    return G_FILE(file);
}

} // namespace sheaf::archiver

extern "C" {

static void sheaf_cab_source_class_init(SheafCabSourceClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = sheaf::archiver::fileFinalizeFn;
}

static void sheaf_cab_source_init(SheafCabSource *self)
{
    self->state = nullptr;
}

static void sheaf_cab_source_file_init(GFileIface *iface)
{
    iface->dup = sheaf::archiver::dupFn;
    iface->hash = sheaf::archiver::hashFn;
    iface->equal = sheaf::archiver::equalFn;
    iface->is_native = sheaf::archiver::isNativeFn;
    iface->has_uri_scheme = sheaf::archiver::hasUriSchemeFn;
    iface->get_uri_scheme = sheaf::archiver::uriSchemeFn;
    iface->get_basename = sheaf::archiver::basenameFn;
    iface->get_path = sheaf::archiver::pathFn;
    iface->get_uri = sheaf::archiver::uriFn;
    iface->get_parse_name = sheaf::archiver::pathFn;
    iface->get_parent = sheaf::archiver::parentFn;
    iface->query_info = sheaf::archiver::queryInfoFn;
    iface->read_fn = sheaf::archiver::readFn;
}

static void sheaf_cab_source_stream_class_init(SheafCabSourceStreamClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = sheaf::archiver::streamFinalizeFn;
    G_INPUT_STREAM_CLASS(klass)->read_fn = sheaf::archiver::streamReadFn;
    G_INPUT_STREAM_CLASS(klass)->close_fn = sheaf::archiver::streamCloseFn;
}

static void sheaf_cab_source_stream_init(SheafCabSourceStream *self)
{
    self->state = nullptr;
    self->source = nullptr;
}
}
