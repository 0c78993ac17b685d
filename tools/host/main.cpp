// PLACEHOLDER: replaced by the reference host.
int main() { return 0; }
