/* The boundary header compiled as C: the records must have the same layout there. */
#include "detector/quorvane.h"

size_t qv_c_sizeof_config(void) { return sizeof(qv_config); }
size_t qv_c_sizeof_image(void) { return sizeof(qv_image); }
size_t qv_c_sizeof_result(void) { return sizeof(qv_result); }
size_t qv_c_offsetof_param_e(void) { return offsetof(qv_config, param_e); }
size_t qv_c_offsetof_region_event(void) { return offsetof(qv_object, region_event); }
