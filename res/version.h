// Version information of the dialog program, in one place: the Windows resource script's
// version block and the C++ code both include it. Plain #defines only.
#ifndef TILTWISE_RES_VERSION_H_
#define TILTWISE_RES_VERSION_H_

#define TILTWISE_VERSION_MAJOR 1
#define TILTWISE_VERSION_MINOR 0
#define TILTWISE_VERSION_PATCH 0
#define TILTWISE_VERSION_BUILD 1
// FILEVERSION / PRODUCTVERSION take the four numbers separated by commas.
#define TILTWISE_VERSION_COMMAS 1, 0, 0, 1
#define TILTWISE_VERSION_STR "1.0.0.1"

#define TILTWISE_PRODUCT_NAME "Tiltwise"
#define TILTWISE_FILE_DESCRIPTION "Tiltwise"
#define TILTWISE_INTERNAL_NAME "Tiltwise"
#define TILTWISE_ORIGINAL_FILENAME "Tiltwise.exe"

// English (United States), Windows multilingual code page: the "040904e4" block and the
// translation pair 0x409, 1252.
#define TILTWISE_LANGUAGE_ID 0x0409
#define TILTWISE_CODE_PAGE 1252
#define TILTWISE_STRING_BLOCK "040904e4"

#endif  // TILTWISE_RES_VERSION_H_
