#include "archiver/cab/cab_output_stream.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

struct OutputStreamState
{
    OutputFile *out = nullptr;
    std::exception_ptr *failure = nullptr;
    uint64_t position = 0;
    uint64_t start = 0; // of the cabinet in `out`
    std::vector<uint8_t> *headers = nullptr;
};

} // namespace

} // namespace sheaf::archiver

extern "C" {

struct SheafCabOutputStream
{
    GOutputStream parent;
    sheaf::archiver::OutputStreamState *state;
};

struct SheafCabOutputStreamClass
{
    GOutputStreamClass parent_class;
};

static void sheaf_cab_output_stream_seekable_init(GSeekableIface *iface);

G_DEFINE_TYPE_WITH_CODE(SheafCabOutputStream, sheaf_cab_output_stream, G_TYPE_OUTPUT_STREAM,
    G_IMPLEMENT_INTERFACE(G_TYPE_SEEKABLE, sheaf_cab_output_stream_seekable_init))
}

namespace sheaf::archiver {

namespace {

OutputStreamState *stateOf(gpointer object)
{
    return reinterpret_cast<SheafCabOutputStream *>(object)->state;
}

gssize writeFn(
    GOutputStream *stream, const void *buffer, gsize count, GCancellable *, GError **error)
{
    OutputStreamState *state = stateOf(stream);
    try {
        const auto *data = static_cast<const uint8_t *>(buffer);
        if (state->headers) {
            const uint64_t at = state->position - state->start;
            for (uint64_t i = at; i < state->headers->size() && i - at < count; ++i)
                (*state->headers)[size_t(i)] = data[i - at];
        }
        uint64_t end = state->out->position();
        size_t patched = 0;
        if (state->position < end) {
            patched = size_t(std::min<uint64_t>(count, end - state->position));
            state->out->patch(state->position, data, patched);
        }
        if (patched < count)
            state->out->write(data + patched, count - patched);
        state->position += count;
        return gssize(count);
    } catch (...) {
        *state->failure = std::current_exception();
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_FAILED, "書き込めません");
        return -1;
    }
}

goffset tellFn(GSeekable *seekable)
{
    return goffset(stateOf(seekable)->position);
}

gboolean canSeekFn(GSeekable *)
{
    return TRUE;
}

gboolean seekFn(GSeekable *seekable, goffset offset, GSeekType type, GCancellable *, GError **error)
{
    OutputStreamState *state = stateOf(seekable);
    goffset end = goffset(state->out->position());
    goffset target = type == G_SEEK_SET ? offset
        : type == G_SEEK_CUR            ? goffset(state->position) + offset
                                        : end + offset;
    if (target < 0 || target > end) {
        g_set_error_literal(
            error, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "書いた範囲の外へは移動できません");
        return FALSE;
    }
    state->position = uint64_t(target);
    return TRUE;
}

gboolean canTruncateFn(GSeekable *)
{
    return FALSE;
}

gboolean truncateFn(GSeekable *, goffset, GCancellable *, GError **error)
{
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "切り詰められません");
    return FALSE;
}

void finalizeFn(GObject *object)
{
    delete stateOf(object);
    G_OBJECT_CLASS(sheaf_cab_output_stream_parent_class)->finalize(object);
}

} // namespace

GOutputStream *newCabOutputStream(
    OutputFile &out, std::exception_ptr *failure, std::vector<uint8_t> *headers)
{
    auto *stream = static_cast<SheafCabOutputStream *>(
        g_object_new(sheaf_cab_output_stream_get_type(), nullptr));
    stream->state = new OutputStreamState {&out, failure, out.position(), out.position(), headers};
    return G_OUTPUT_STREAM(stream);
}

} // namespace sheaf::archiver

extern "C" {

static void sheaf_cab_output_stream_class_init(SheafCabOutputStreamClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = sheaf::archiver::finalizeFn;
    G_OUTPUT_STREAM_CLASS(klass)->write_fn = sheaf::archiver::writeFn;
}

static void sheaf_cab_output_stream_init(SheafCabOutputStream *self)
{
    self->state = nullptr;
}

static void sheaf_cab_output_stream_seekable_init(GSeekableIface *iface)
{
    iface->tell = sheaf::archiver::tellFn;
    iface->can_seek = sheaf::archiver::canSeekFn;
    iface->seek = sheaf::archiver::seekFn;
    iface->can_truncate = sheaf::archiver::canTruncateFn;
    iface->truncate_fn = sheaf::archiver::truncateFn;
}
}
