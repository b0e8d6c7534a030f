// A "new version" of the manager that ends as soon as it starts, as a broken
// update would, for the self-update's rollback run.
int main()
{
    return 3;
}
