#include "library/codec_routines.h"

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/url_http.h"
#include "io/files.h"
#include "kivbin/kivbin.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::codecs {
namespace {

// A valid container is longer than this.
constexpr uint32_t shortest_container = 10;

} // namespace

void kivbin_encode(Cell* args) {
    Rooted<Cell> out;
    kivbin::encode(args[0], args[1].w1 != 0, *out);
    args[0] = *out;
}

void kivbin_decode(Cell* args) {
    // A file is decoded from its bytes, an http url from the body it
    // answers with.
    if (cell::type_of(args[0]) == TYPE_URL && url::http_url(args[0]))
        url::read_http(&args[0], nullptr, nullptr, true, false, false, nullptr);
    if (cell::type_of(args[0]) == TYPE_FILE) {
        io::BytesResult read = io::read_file(file::to_os_string(args[0]));
        if (!read.status.ok()) file::raise_cannot_open(args[0], read.status.code);
        binary::load_at(args[0], read.bytes.data(), read.bytes.size());
    }
    if (cell::type_of(args[0]) != TYPE_BINARY || binary::length(args[0]) <= shortest_container)
        runtime::fire_error(runtime::Category::script, err::script::invalid_data, &args[0]);
    Rooted<Cell> values;
    block::make_at(*values, 1);
    kivbin::decode(args[0], *values);
    args[0] = block::rs_length(*values) == 1 ? *block::rs_head(*values) : *values;
}

template <int32_t Encoder>
void image_encode(Cell* args) {
    if (cell::type_of(args[0]) != TYPE_IMAGE)
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &args[0]);
    Rooted<Cell> out;
    image::encode_checked(args[0], Encoder, *out);
    args[0] = *out;
}

void image_decode(Cell* args) {
    uint32_t type = cell::type_of(args[0]);
    if (type != TYPE_BINARY && type != TYPE_FILE)
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &args[0]);
    Rooted<Cell> out;
    image::decode_source(args[0], *out);
    args[0] = *out;
}

void register_routines() {
    routine::register_named("kivbin-encode", kivbin_encode);
    routine::register_named("kivbin-decode", kivbin_decode);
    routine::register_named("bmp-encode", image_encode<0>);
    routine::register_named("png-encode", image_encode<1>);
    routine::register_named("gif-encode", image_encode<2>);
    routine::register_named("jpeg-encode", image_encode<3>);
    routine::register_named("tiff-encode", image_encode<4>);
    routine::register_named("image-decode", image_decode);
}

} // namespace kiv::codecs
