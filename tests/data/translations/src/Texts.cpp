// A source whose catalogue lacks one text, marks another fuzzy and translates the third: the
// translation check must name the first two and only them.
const char* known() { return core::translated("Save"); }
const char* added() { return core::translated("A text nobody translated yet"); }
QString guessed() { return qtranslated("Delete the rhythm %s?", {name}); }
