# The library check's surfaces: one C file, each library with one planted fault (the switch
# named after the colon; none for the sound one). See check_surface.c.
# Included by the folder that builds the test libraries (for Linux and for Windows); each
# library is added to VELMOR_TEST_LIBS.
set(VELMOR_CHECK_LIBS
  check_sound: check_grin:CHECK_GRIN
  check_hit_off:CHECK_HIT_OFF check_normal_flipped:CHECK_NORMAL_FLIPPED
  check_not_normalised:CHECK_NOT_NORMALISED check_indices_swapped:CHECK_INDICES_SWAPPED
  check_nan_sag:CHECK_NAN_SAG check_no_terminator:CHECK_NO_TERMINATOR
  check_sag_writes_param1:CHECK_SAG_WRITES_PARAM1 check_counter:CHECK_COUNTER
  check_shared_buffer:CHECK_SHARED_BUFFER check_paraxial_sign:CHECK_PARAXIAL_SIGN
  check_gradient_wrong:CHECK_GRIN,CHECK_GRADIENT_WRONG check_same_names:CHECK_SAME_NAMES
  check_safe_data_varies:CHECK_SAFE_DATA_VARIES check_past_user_data:CHECK_PAST_USER_DATA
  check_past_fixed_data:CHECK_PAST_FIXED_DATA check_user_padding:CHECK_USER_PADDING
  "check_v3_writes_param1:CHECK_FD=FIXED_DATA3,CHECK_ENTRY=UserDefinedSurface3,CHECK_SAG_WRITES_PARAM1")
include(${CMAKE_CURRENT_LIST_DIR}/variant_libs.cmake)
velmor_variant_libs(${CMAKE_CURRENT_LIST_DIR}/check_surface.c ${VELMOR_CHECK_LIBS})
