// Placeholder entry point until the bake lands.
int main() {
  return 0;
}
