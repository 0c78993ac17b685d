// PLACEHOLDER: replaced by the Win32 backend.
