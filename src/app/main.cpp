// Entry point placeholder; replaced by the command-line front end.
int main() { return 0; }
