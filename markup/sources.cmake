# Markup engine and response documents (full edition only).
set(RV_MARKUP_SOURCES
)
