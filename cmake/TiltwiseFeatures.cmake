# Platform facts the socket layer needs, detected rather than guessed from the OS name. (It
# picks MSG_NOSIGNAL and SO_NOSIGPIPE by their macros itself.)
include(CheckSymbolExists)
if(NOT WIN32)
  check_symbol_exists(poll "poll.h" TILTWISE_HAVE_POLL)
  if(NOT TILTWISE_HAVE_POLL)
    message(FATAL_ERROR "poll() is required: select() cannot wait on descriptors above FD_SETSIZE")
  endif()
endif()
