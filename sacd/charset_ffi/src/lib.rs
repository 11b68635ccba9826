//! C interface over encoding_rs for the four double-byte disc character sets, plus Unicode
//! lower-casing. Only forwards: all encoding behaviour is encoding_rs's.
//!
//! Results are handed to a caller-supplied sink while the call is running, so no memory
//! allocated on one side is ever freed on the other.

use encoding_rs::{EncoderResult, Encoding, BIG5, EUC_KR, GBK, SHIFT_JIS};
use std::os::raw::{c_int, c_void};
use std::slice;

/// Receives the output bytes (UTF-8 for decoding and lower-casing, the encoding's bytes for
/// encoding). Called at most once per call, and only on success.
pub type VelmoraSink = extern "C" fn(context: *mut c_void, data: *const u8, length: usize);

pub const VELMORA_CHARSET_OK: c_int = 0;
pub const VELMORA_CHARSET_UNMAPPABLE: c_int = 1;
pub const VELMORA_CHARSET_BAD_ARGUMENT: c_int = -1;

fn encoding_for(id: c_int) -> Option<&'static Encoding> {
    match id {
        0 => Some(SHIFT_JIS),
        1 => Some(EUC_KR),
        2 => Some(GBK),
        3 => Some(BIG5),
        _ => None,
    }
}

unsafe fn input<'a>(data: *const u8, length: usize) -> Option<&'a [u8]> {
    if length == 0 {
        Some(&[])
    } else if data.is_null() {
        None
    } else {
        Some(slice::from_raw_parts(data, length))
    }
}

fn deliver(sink: VelmoraSink, context: *mut c_void, bytes: &[u8]) {
    sink(context, bytes.as_ptr(), bytes.len());
}

/// Decodes `data` with the encoding's decoder, malformed input becoming U+FFFD, without
/// byte-order-mark handling. Returns VELMORA_CHARSET_OK or VELMORA_CHARSET_BAD_ARGUMENT.
///
/// # Safety
/// `data` must point to `length` readable bytes (or may be null when `length` is 0).
#[no_mangle]
pub unsafe extern "C" fn velmora_charset_decode(
    encoding: c_int,
    data: *const u8,
    length: usize,
    sink: VelmoraSink,
    context: *mut c_void,
) -> c_int {
    let (encoding, bytes) = match (encoding_for(encoding), input(data, length)) {
        (Some(e), Some(b)) => (e, b),
        _ => return VELMORA_CHARSET_BAD_ARGUMENT,
    };
    let text = encoding.decode_without_bom_handling(bytes).0;
    deliver(sink, context, text.as_bytes());
    VELMORA_CHARSET_OK
}

/// Encodes the UTF-8 text `data` without replacement. On success the bytes go to the sink and
/// VELMORA_CHARSET_OK is returned; when a character has no mapping nothing is delivered,
/// `*unmappable` receives the first such character and VELMORA_CHARSET_UNMAPPABLE is returned.
/// Text that is not valid UTF-8 gives VELMORA_CHARSET_BAD_ARGUMENT.
///
/// # Safety
/// `data` must point to `length` readable bytes (or may be null when `length` is 0) and
/// `unmappable` must be valid for a write.
#[no_mangle]
pub unsafe extern "C" fn velmora_charset_encode(
    encoding: c_int,
    data: *const u8,
    length: usize,
    sink: VelmoraSink,
    context: *mut c_void,
    unmappable: *mut u32,
) -> c_int {
    let (encoding, bytes) = match (encoding_for(encoding), input(data, length)) {
        (Some(e), Some(b)) => (e, b),
        _ => return VELMORA_CHARSET_BAD_ARGUMENT,
    };
    let text = match std::str::from_utf8(bytes) {
        Ok(t) => t,
        Err(_) => return VELMORA_CHARSET_BAD_ARGUMENT,
    };
    if unmappable.is_null() {
        return VELMORA_CHARSET_BAD_ARGUMENT;
    }
    let mut encoder = encoding.new_encoder();
    let capacity = match encoder.max_buffer_length_from_utf8_without_replacement(text.len()) {
        Some(c) => c,
        None => return VELMORA_CHARSET_BAD_ARGUMENT,
    };
    let mut out = vec![0u8; capacity];
    let (result, read, written) = encoder.encode_from_utf8_without_replacement(text, &mut out, true);
    match result {
        EncoderResult::InputEmpty if read == text.len() => {
            deliver(sink, context, &out[..written]);
            VELMORA_CHARSET_OK
        }
        EncoderResult::Unmappable(c) => {
            *unmappable = c as u32;
            VELMORA_CHARSET_UNMAPPABLE
        }
        // The buffer is sized by the encoder's own worst case, so this is not reached.
        _ => VELMORA_CHARSET_BAD_ARGUMENT,
    }
}

/// Full Unicode lower-casing (multi-character mappings included) of the UTF-8 text `data`.
/// Text that is not valid UTF-8 gives VELMORA_CHARSET_BAD_ARGUMENT.
///
/// # Safety
/// `data` must point to `length` readable bytes (or may be null when `length` is 0).
#[no_mangle]
pub unsafe extern "C" fn velmora_to_lowercase(
    data: *const u8,
    length: usize,
    sink: VelmoraSink,
    context: *mut c_void,
) -> c_int {
    let text = match input(data, length).map(std::str::from_utf8) {
        Some(Ok(t)) => t,
        _ => return VELMORA_CHARSET_BAD_ARGUMENT,
    };
    deliver(sink, context, text.to_lowercase().as_bytes());
    VELMORA_CHARSET_OK
}
