// libFLAC, bound at run time from "libFLAC.so.12": the stream decoder, the
// stream encoder and the simple metadata iterator, in that order. The player
// calls only the decoder (new, delete, set_md5_checking,
// set_metadata_respond_all, get_state, init_stream, finish, reset,
// process_single, seek_absolute); the other entries are looked up all the same
// and stay valid (or null where the library lacks the name) for the life of
// the process. The types come from the libflac-dev headers; nothing links the
// library itself.
#pragma once

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include "lib_loader.h"

namespace quillet {

struct TFLACLib : TLibrary {
    TFLACLib() : TLibrary("libFLAC.so.12") {}
    // decoder (31)
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_new);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_delete);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_ogg_serial_number);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_md5_checking);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_metadata_respond);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_metadata_respond_application);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_metadata_respond_all);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_metadata_ignore);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_metadata_ignore_application);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_set_metadata_ignore_all);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_state);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_md5_checking);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_total_samples);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_channels);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_channel_assignment);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_bits_per_sample);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_sample_rate);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_blocksize);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_get_decode_position);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_init_stream);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_init_ogg_stream);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_init_file);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_init_ogg_file);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_finish);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_flush);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_reset);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_process_single);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_process_until_end_of_metadata);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_process_until_end_of_stream);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_skip_single_frame);
    QUILLET_LIB_ENTRY(FLAC__stream_decoder_seek_absolute);
    // encoder (47)
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_new);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_delete);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_ogg_serial_number);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_verify);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_streamable_subset);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_channels);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_bits_per_sample);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_sample_rate);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_compression_level);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_blocksize);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_do_mid_side_stereo);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_loose_mid_side_stereo);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_apodization);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_max_lpc_order);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_qlp_coeff_precision);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_do_qlp_coeff_prec_search);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_do_escape_coding);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_do_exhaustive_model_search);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_min_residual_partition_order);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_max_residual_partition_order);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_set_total_samples_estimate);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_state);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_verify_decoder_state);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_verify_decoder_error_stats);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_verify);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_streamable_subset);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_channels);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_bits_per_sample);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_sample_rate);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_blocksize);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_do_mid_side_stereo);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_loose_mid_side_stereo);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_qlp_coeff_precision);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_do_qlp_coeff_prec_search);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_do_escape_coding);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_do_exhaustive_model_search);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_min_residual_partition_order);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_max_residual_partition_order);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_rice_parameter_search_dist);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_get_total_samples_estimate);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_init_stream);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_init_ogg_stream);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_init_file);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_init_ogg_file);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_finish);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_process);
    QUILLET_LIB_ENTRY(FLAC__stream_encoder_process_interleaved);
    // metadata (11)
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_new);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_delete);
    // Looked up with a capital M, as the table always has been: the library
    // exports no such name, so this entry stays null. Nothing calls it.
    TLibEntry<decltype(::FLAC__metadata_simple_iterator_status)>
        FLAC__Metadata_simple_iterator_status{*this, "FLAC__Metadata_simple_iterator_status"};
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_init);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_is_writable);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_next);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_prev);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_get_block_type);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_get_block);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_set_block);
    QUILLET_LIB_ENTRY(FLAC__metadata_simple_iterator_insert_block_after);
};

// The process-wide table.
TFLACLib& FLACLib();

// Loads libFLAC once, under LibLoadLock; a failed load is retried at the next
// call. True when the library is loaded.
bool LoadFLACLib();
bool FLACLibLoaded();

}  // namespace quillet
